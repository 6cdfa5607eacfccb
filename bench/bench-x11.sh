#!/usr/bin/env bash
# The frame-rate benchmark on a real X window: brimvalk-bench-frames --video x11 on $DISPLAY, or on
# a private Xvfb when there is none; the start-up to the first frame, five fresh runs; and, when
# Wine and the x86_64 Windows build are there, the program's frame rate against the Windows build
# under Wine on the same display, each running as a user runs it and counted by its own
# once-a-second frame-rate line.
# Usage: bench/bench-x11.sh BENCH_DIR [WINDOWS_EXE]   (BENCH_DIR: the build's bench/ directory)
set -u -o pipefail
bench=${1:?usage: bench-x11.sh BENCH_DIR [WINDOWS_EXE]}
exe=${2:-}
program=$bench/../brimvalk-test
scratch=$(mktemp -d "${TMPDIR:-/tmp}/brimvalk-bench-x11.XXXXXX") || exit 1
xvfb=''
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -z "${DISPLAY:-}" ]; then
  . "$(dirname "$0")/../scripts/xvfb.sh"
  xvfb_start "$scratch" || exit 1
  xvfb=$xvfb_pid
  echo "bench-x11: no display, running on a private Xvfb ($DISPLAY)"
fi
unset SDL_VIDEODRIVER WAYLAND_DISPLAY
echo "load: $(uptime | sed 's/.*load average/load average/')"

"$bench/brimvalk-bench-frames" --video x11 || exit 1

startups=$(for _ in 1 2 3 4 5; do
  "$bench/brimvalk-bench-frames" --video x11 --startup-only | sed -n 's/.*: \([0-9.]*\) ms from main.*/\1/p'
done | sort -n | tr '\n' ' ')
echo "start-up on x11, 5 runs: $startups ms from main to the first frame's swap"

# The same program built for Windows, under Wine, against the Linux program: both with the swap
# synchronisation they ask for (none to be had on Xvfb), alternating, 3 rounds.
wine=$(command -v wine || true)
if [ -z "$wine" ] || [ -z "$exe" ] || [ ! -f "$exe" ]; then
  echo "program against its Windows build under Wine: skipped (needs wine64 and the x86_64 build)"
  exit 0
fi
export WINEPREFIX=${WINEPREFIX:-$(cd "$bench/.." && pwd)/wineprefix} WINEDEBUG=-all
# Through the launcher the tests use: Wine's desktop brought up first (a busy machine can miss Wine's 10 s for it).
export WINE_RUN=$wine WINESERVER=wineserver WINE_DESKTOP=$(dirname "$exe")/wine-desktop.exe
launch=$(cd "$(dirname "$0")/../scripts" && pwd)/wine-launch.sh
# Frame-rate lines after the first two (start-up and the driver's first frames) of a run of $1 s.
rates() {
  local seconds=$1
  shift
  # One interrupt, to the program only: timeout's second one to the whole group could reach it
  # before its loop came round to the first, and a program asked twice ends the default way.
  timeout --foreground -k 5 -s INT "$seconds" "$@" 2>>"$scratch/stderr" | awk '/ fps/ && ++n > 2 { print $1 }'
}
wineboot -i >/dev/null 2>&1
median() { tr ' ' '\n' | grep . | sort -n | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)] }'; }
linux='' windows=''
for round in 1 2 3; do
  # (Wine may need the kill after the interrupt; the shell's notice of it is not news.)
  l=$( { rates 8 "$program" | tr '\n' ' '; } 2>/dev/null)
  w=$( { rates 12 "$launch" "$exe" | tr '\n' ' '; } 2>/dev/null)
  echo "round $round: program $(echo "$l" | median) fps, under Wine $(echo "$w" | median) fps (medians)"
  linux+=" $l" windows+=" $w"
done
wineserver -k 2>/dev/null
l=$(echo "$linux" | median) w=$(echo "$windows" | median)
if [ -z "$l" ] || [ -z "$w" ]; then
  echo "bench-x11: no frame-rate lines (linux: '$linux', wine: '$windows'); their stderr:" >&2
  tail -n 5 "$scratch/stderr" >&2
  exit 1
fi
echo "program $l fps, Windows build under Wine $w fps (medians of the once-a-second lines, 3 rounds)"
awk -v l="$l" -v w="$w" 'BEGIN { printf "ratio program/Wine: %.3f (target >= 1.00)\n", l / w }'
echo "load: $(uptime | sed 's/.*load average/load average/')"
