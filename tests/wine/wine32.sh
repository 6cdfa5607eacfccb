#!/usr/bin/env bash
# wine32.sh PROGRAM.exe [ARGS...]: the end-to-end scripts' launcher (E2E_LAUNCHER) for the 32-bit Windows program:
# runs it with 32-bit Wine inside the i386 root WINE32_ROOT that i686-check.sh has entered, on the caller's DISPLAY,
# in WINEPREFIX (a path inside the root). The program is copied into the root's /tmp; this script's process becomes
# the program's own (exec), so its status, its signals and its output are the program's.
set -eu
: "${WINE32_ROOT:?WINE32_ROOT is not set: run this through tests/wine/i686-check.sh}" "${WINEPREFIX:?}"
program=${1:?usage: wine32.sh PROGRAM.exe [ARGS...]}
shift
scratch=$(mktemp -d "$WINE32_ROOT/tmp/program.XXXXXX")
cp "$program" "$scratch/"
exec chroot "$WINE32_ROOT" /usr/bin/env -i PATH=/usr/bin:/bin HOME=/root LANG=C.UTF-8 DISPLAY="${DISPLAY:-}" \
  WINEPREFIX="$WINEPREFIX" WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}" \
  LP_NUM_THREADS="${LP_NUM_THREADS:-0}" /usr/lib/wine/wine "${scratch#"$WINE32_ROOT"}/${program##*/}" "$@"
