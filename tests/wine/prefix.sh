#!/usr/bin/env bash
# Makes a fresh copy of a booted Wine prefix at each DIR given, for the wine-labelled tests, so
# that tests in different copies have wineservers of their own; or with --end ends every Wine process of them all.
# The booted prefix at $WINEPREFIX (wineboot, without the Mono and Gecko installers) is never run in
# itself: it is kept for the next CTest run while Wine's version stays the same, since booting one
# takes some ten seconds.
# Usage: prefix.sh [--end] [DIR...]
set -euo pipefail
: "${WINEPREFIX:?}" "${WINESERVER:?}" "${WINE64:?}"
end=''
[ "${1:-}" = --end ] && { end=1; shift; }
if [ -n "$end" ]; then
  for prefix in "$WINEPREFIX" "$@"; do WINEPREFIX=$prefix "$WINESERVER" -k 2>/dev/null || true; done
  exit 0
fi
rm -rf "$@"
version=$("$WINE64" --version)
if [ "$(cat "$WINEPREFIX/.booted-by" 2>/dev/null)" != "$version" ]; then
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  env -u DISPLAY -u WAYLAND_DISPLAY timeout 120 "$WINE64" wineboot --init || { echo "wineboot failed" >&2; exit 1; }
  "$WINESERVER" -k 2>/dev/null || true
  [ -f "$WINEPREFIX/system.reg" ] || { echo "no registry in $WINEPREFIX after wineboot" >&2; exit 1; }
  echo "$version" >"$WINEPREFIX/.booted-by"
fi
for copy in "$@"; do cp -a "$WINEPREFIX" "$copy"; done
