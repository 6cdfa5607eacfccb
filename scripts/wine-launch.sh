#!/usr/bin/env bash
# wine-wine-launch.sh PROGRAM.exe [ARGS...]: a Windows program under Wine, for the end-to-end scripts (their E2E_LAUNCHER)
# and the benchmarks. WINE_RUN starts Windows programs (wine64, or wine32.sh in the i386 root), WINESERVER ends Wine's
# session. Wine's desktop is brought up first by WINE_DESKTOP (wine-desktop.exe, wine-desktop.c): when that fails
# (Wine gives its desktop process 10 s), the session is ended and started again, up to 5 times, each said on stderr.
# Then this process becomes the program's own (exec): its status, its signals and its output are the program's.
set -u
: "${WINE_RUN:?}" "${WINE_DESKTOP:?}" "${WINESERVER:?}"
program=${1:?usage: wine-launch.sh PROGRAM.exe [ARGS...]}
shift
ready=$(mktemp "${TMPDIR:-/tmp}/wine-desktop.XXXXXX") || exit 1
up=''
for attempt in 1 2 3 4 5; do
  "$WINE_RUN" "$WINE_DESKTOP" >"$ready" 2>"$ready.err" &
  until grep -qs '^ready' "$ready" || ! kill -0 $! 2>/dev/null; do sleep 0.1; done
  grep -qs '^ready' "$ready" && { up=1; break; }
  echo "wine-launch.sh: Wine's desktop did not come up (attempt $attempt): $(tail -n 1 "$ready.err")" >&2
  "$WINESERVER" -k 2>/dev/null
done
rm -f "$ready" "$ready.err"
[ -n "$up" ] || { echo "wine-launch.sh: Wine's desktop did not come up in 5 attempts" >&2; exit 1; }
exec "$WINE_RUN" "$program" "$@"
