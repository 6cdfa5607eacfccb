#!/usr/bin/env bash
# Makes a fresh Wine prefix at $WINEPREFIX (wineboot, without the Mono and Gecko installers), or
# with --end ends every Wine process of it. The wine-labelled tests share one prefix per CTest run.
set -euo pipefail
: "${WINEPREFIX:?}" "${WINESERVER:?}" "${WINE64:?}"
if [ "${1:-}" = --end ]; then
  "$WINESERVER" -k 2>/dev/null || true
  exit 0
fi
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
env -u DISPLAY -u WAYLAND_DISPLAY timeout 120 "$WINE64" wineboot --init || { echo "wineboot failed" >&2; exit 1; }
"$WINESERVER" -k 2>/dev/null || true
[ -f "$WINEPREFIX/system.reg" ] || { echo "no registry in $WINEPREFIX after wineboot" >&2; exit 1; }
