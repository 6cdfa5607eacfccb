#!/usr/bin/env bash
# prefix.sh [--end] [DIR...]: fresh copies of the booted $WINEPREFIX, kept while Wine's version stays (boot: ~10 s).
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
