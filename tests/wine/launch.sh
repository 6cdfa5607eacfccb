#!/usr/bin/env bash
# launch.sh PROGRAM.exe [ARGS...]: the end-to-end scripts' launcher (E2E_LAUNCHER) for a Windows program under Wine:
# WINE_RUN starts Windows programs (wine64, or wine32.sh in the i386 root), WINESERVER ends Wine's session.
# Wine's desktop is brought up first by WINE_DESKTOP (wine-desktop.exe, desktop.c): when that fails (Wine gives its
# desktop process 10 s), the session is ended and started again, up to 5 times, each said on stderr. Then this
# process becomes the program's own (exec): its status, its signals and its output are the program's.
set -u
: "${WINE_RUN:?}" "${WINE_DESKTOP:?}" "${WINESERVER:?}"
program=${1:?usage: launch.sh PROGRAM.exe [ARGS...]}
shift
ready=$(mktemp "${TMPDIR:-/tmp}/wine-desktop.XXXXXX") || exit 1
up=''
for attempt in 1 2 3 4 5; do
  "$WINE_RUN" "$WINE_DESKTOP" >"$ready" 2>"$ready.err" &
  until grep -qs '^ready' "$ready" || ! kill -0 $! 2>/dev/null; do sleep 0.1; done
  grep -qs '^ready' "$ready" && { up=1; break; }
  echo "launch.sh: Wine's desktop did not come up (attempt $attempt): $(tail -n 1 "$ready.err")" >&2
  "$WINESERVER" -k 2>/dev/null
done
rm -f "$ready" "$ready.err"
[ -n "$up" ] || { echo "launch.sh: Wine's desktop did not come up in 5 attempts" >&2; exit 1; }
exec "$WINE_RUN" "$program" "$@"
