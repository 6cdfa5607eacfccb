#!/usr/bin/env bash
# brimvalk-pacing offscreen for 2 s against the program's lines, its own CSV and this script's clock; then on Xvfb.
. "$(dirname "$0")/../e2e/lib.sh"
e2e_setup "${1:-}"
tool=$(realpath "$1") dir=$e2e_dir
export SDL_VIDEODRIVER=offscreen

# The right arrow held for 3 frames (a loaded machine may draw only ten), every fifth frame held back 60 ms.
start=$(date +%s%N)
"$tool" --seconds 2 --hold right:0-3 --stall 5:60 --png "$dir/p.png" --size 640x360 --csv "$dir/p.csv" \
  --program-output "$dir/program" >"$dir/out" 2>"$dir/err" || fail "exit status $?: $(cat "$dir/err")"
wall_ms=$(( ($(date +%s%N) - start) / 1000000 ))
summary='^frames ([0-9]+), mean ([0-9.]+) fps, p50 [0-9.]+ ms, p95 [0-9.]+ ms, p99 [0-9.]+ ms, max [0-9.]+ ms, stutters [0-9]+$'
[[ $(sed -n 1p "$dir/out") =~ $summary ]] || fail "expected the summary line, got: $(cat "$dir/out")"
frames=${BASH_REMATCH[1]} fps=${BASH_REMATCH[2]}
[[ $(sed -n 2p "$dir/out") =~ ^swap\ interval:\ (asked\ 1|not\ asked).*,\ driver\ reports\ -?[0-9]+$ ]] ||
  fail "expected the swap interval line second, got: $(sed -n 2p "$dir/out")"
[ "$(sed -n 3p "$dir/out")" = "display: refresh rate unknown (SDL's offscreen display mode has no refresh rate); presentation times: not offered (the offscreen video driver shows nothing on a display)" ] ||
  fail "expected the offscreen display line third, got: $(sed -n 3p "$dir/out")"
[[ $(sed -n 4p "$dir/out") =~ ^vsync:\ unknown\;\ 1%\ low\ ([0-9.]+)\ fps,\ 0.1%\ low\ ([0-9.]+)\ fps$ ]] ||
  fail "expected 'vsync: unknown' and the lows fourth, got: $(sed -n 4p "$dir/out")"
[[ $(sed -n 5p "$dir/out") =~ ^input:\ 2\ key\ changes, ]] || fail "expected the input line fifth, got: $(sed -n 5p "$dir/out")"
[[ $(sed -n 6p "$dir/out") =~ ^stalls:\ ([0-9]+)\ planted$ ]] || fail "expected 'stalls: S planted' sixth, got: $(sed -n 6p "$dir/out")"
planted=${BASH_REMATCH[1]}
[ "$(wc -l <"$dir/out")" = 6 ] || fail "expected six lines on stdout, got $(wc -l <"$dir/out")"

inputs=$(grep -cE '^-?[0-9]+ -?[0-9]+ -?[0-9]+ -?[0-9]+$' "$dir/program")
[ "$frames" -gt 3 ] && [ "$frames" = "$inputs" ] ||
  fail "reported $frames frames; the program printed $inputs input lines"
held=$(grep -v fps "$dir/program" | grep -n -x '0 1 0 0' | cut -d: -f1 | tr '\n' ' ')
[ "$held" = "1 2 3 " ] || fail "expected the right arrow in input lines 1-3, got lines $held"
[ "$(tail -n +2 "$dir/p.csv" | cut -d, -f1 | tr '\n' ' ')" = "$(seq -s ' ' 0 $((frames - 1))) " ] ||
  fail "expected CSV frames 0..$((frames - 1))"
# Frames 4, 9, 14, ... planted, and each at least the 60 ms it was held back; nothing presented.
[ "$(awk -F, 'NR > 1 && $5 == 1 { printf "%d ", $1 }' "$dir/p.csv")" = "$(seq -s ' ' 4 5 $((frames - 1))) " ] ||
  fail "expected stalled frames 4, 9, 14, ... of $frames"
[ "$planted" = $((frames / 5)) ] || fail "reported $planted stalls planted in $frames frames"
awk -F, 'NR > 1 && ($3 != "" || $4 != "" || ($5 == 1 && $2 < 60)) { print "FAIL: CSV line " NR ": " $0; bad = 1 }
  END { exit bad }' "$dir/p.csv" >&2 || exit 1
# The wait is in the planted frames' own times, not their successors': their median is well above the rest's.
median() { awk -F, -v planted="$1" 'NR > 2 && $5 == planted { print $2 }' "$dir/p.csv" | sort -n |
  awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
awk -v s="$(median 1)" -v o="$(median 0)" 'BEGIN { exit !(s - o > 15) }' ||
  fail "planted frames' median $(median 1) ms is not 15 ms above the others' $(median 0) ms"

# The frame times span at least the 2 s asked, within this script's clock; the mean follows (the lows: test_pacing).
awk -v n="$frames" -v fps="$fps" -v wall="$wall_ms" -F, 'NR > 1 { sum += $2 } END {
  if (sum < 2000 || sum > wall || (fps - n * 1000 / sum) ^ 2 > 0.051 ^ 2) {
    printf "FAIL: %d frames in %.1f ms of frame times (2000..%d wanted), reported as %s fps\n", n, sum, wall, fps; exit 1 } }' \
  "$dir/p.csv" >&2 || exit 1
[ "$(identify -format '%m %w %h' "$dir/p.png")" = "PNG 640 360" ] || fail "expected a 640x360 PNG: $(identify "$dir/p.png" 2>&1)"

# On Xvfb: its mode has no dot clock and its GLX no OML sync control, so neither is known.
e2e_start_xvfb
SDL_VIDEODRIVER=x11 "$tool" --seconds 0.5 >"$dir/out" 2>"$dir/err" ||
  fail "on Xvfb: exit status $?: $(cat "$dir/err")"
[ "$(sed -n 3p "$dir/out")" = "display: refresh rate unknown (XRandR's mode 1280x1024 has no dot clock); presentation times: not offered (the GLX server offers no GLX_OML_sync_control)" ] ||
  fail "on Xvfb: expected the display line third, got: $(sed -n 3p "$dir/out")"
[[ $(sed -n 4p "$dir/out") =~ ^vsync:\ unknown\;\ 1%\ low\ [0-9.]+\ fps,\ 0.1%\ low\ [0-9.]+\ fps$ ]] ||
  fail "on Xvfb: expected 'vsync: unknown' fourth, got: $(sed -n 4p "$dir/out")"
echo "ok: $frames frames, $fps fps" >&2
