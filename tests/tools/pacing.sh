#!/usr/bin/env bash
# brimvalk-pacing offscreen for 2 s against the program's lines, its own CSV and this script's clock; then on Xvfb.
. "$(dirname "$0")/../e2e/lib.sh"
e2e_setup "${1:-}" glxinfo
tool=$(realpath "$1") dir=$e2e_dir
export SDL_VIDEODRIVER=offscreen

# The right arrow held for 3 frames (a loaded machine may draw only ten), every fifth frame held back 60 ms; the
# program's output file holds an old line, which must go.
echo 'stale line from an earlier run' >"$dir/program"
start=$(date +%s%N)
"$tool" --seconds 2 --hold right:0-3 --stall 5:60 --png "$dir/p.png" --size 640x360 --csv "$dir/p.csv" \
  --program-output "$dir/program" >"$dir/out" 2>"$dir/err" || fail "exit status $?: $(cat "$dir/err")"
wall_ms=$(( ($(date +%s%N) - start) / 1000000 ))
[ ! -s "$dir/err" ] || fail "expected nothing on stderr after a full run, got: $(cat "$dir/err")"
line() { sed -n "$1p" "$dir/out"; }
summary='^first frame ([0-9.]+) ms \(start-up\), then: frames ([0-9]+), mean ([0-9.]+) fps, p50 [0-9.]+ ms, p95 [0-9.]+ ms, p99 [0-9.]+ ms, max [0-9.]+ ms, stutters [0-9]+$'
[[ $(line 1) =~ $summary ]] || fail "expected the summary line, got: $(cat "$dir/out")"
first=${BASH_REMATCH[1]} frames=${BASH_REMATCH[2]} fps=${BASH_REMATCH[3]}
[[ $(line 2) =~ ^renderer:\ .+\;\ OpenGL\ [0-9].+\;\ .+\;\ SDL\ video\ driver\ offscreen$ ]] ||
  fail "expected the renderer line second, got: $(line 2)"
[[ $(line 3) =~ ^swap\ interval:\ (asked\ 1|not\ asked).*,\ driver\ reports\ -?[0-9]+$ ]] ||
  fail "expected the swap interval line third, got: $(line 3)"
why='the offscreen video driver shows nothing on a display'
[ "$(line 4)" = "display: refresh rate unknown (SDL's offscreen display mode has no refresh rate); presentation times: not offered ($why)" ] ||
  fail "expected the offscreen display line fourth, got: $(line 4)"
[[ $(line 5) =~ ^vsync:\ unknown\;\ 1%\ low\ ([0-9.]+)\ fps,\ 0.1%\ low\ ([0-9.]+)\ fps\ \(of\ $frames\ frame\ times\)$ ]] ||
  fail "expected 'vsync: unknown' and the lows over the $frames frame times fifth, got: $(line 5)"
[ "$(line 6)" = "latency: swap to present unknown (no presentation times: $why)" ] ||
  fail "expected the latency line to say why not, sixth, got: $(line 6)"
[[ $(line 7) =~ ^input:\ 2\ key\ changes, ]] || fail "expected the input line seventh, got: $(line 7)"
[[ $(line 8) =~ ^stalls:\ ([0-9]+)\ planted$ ]] || fail "expected 'stalls: S planted' eighth, got: $(line 8)"
planted=${BASH_REMATCH[1]}
[ "$(wc -l <"$dir/out")" = 8 ] || fail "expected eight lines on stdout, got $(wc -l <"$dir/out")"

# The program drew the first frame and the N after it, each printing its input line; the old line is gone.
inputs=$(grep -cE '^-?[0-9]+ -?[0-9]+ -?[0-9]+ -?[0-9]+$' "$dir/program")
[ "$frames" -gt 3 ] && [ $((frames + 1)) = "$inputs" ] ||
  fail "reported the first frame and $frames more; the program printed $inputs input lines"
! grep -q stale "$dir/program" || fail "--program-output kept the old file's lines"
held=$(grep -v fps "$dir/program" | grep -n -x '0 1 0 0' | cut -d: -f1 | tr '\n' ' ')
[ "$held" = "1 2 3 " ] || fail "expected the right arrow in input lines 1-3, got lines $held"
# Columns: frame,startup,frame_ms,swap_ms,present_ms,refreshes,on_refresh,missed,swap_to_present_ms,stalled,input_ms.
[ "$(head -n 1 "$dir/p.csv")" = frame,startup,frame_ms,swap_ms,present_ms,refreshes,on_refresh,missed,swap_to_present_ms,stalled,input_ms ] ||
  fail "expected the CSV header, got: $(head -n 1 "$dir/p.csv")"
[ "$(tail -n +2 "$dir/p.csv" | cut -d, -f1 | tr '\n' ' ')" = "$(seq -s ' ' 0 "$frames") " ] ||
  fail "expected CSV frames 0..$frames"
awk -v f="$first" -F, '(NR == 2 && !($2 == 1 && ($3 - f) ^ 2 < 0.051 ^ 2)) || (NR > 2 && $2 != 0) { bad = 1 } END { exit bad }' \
  "$dir/p.csv" || fail "expected row 0 alone marked as the start-up, with the reported $first ms: $(sed -n 2,3p "$dir/p.csv")"
# Frames 4, 9, 14, ... planted, and each at least the 60 ms it was held back; nothing presented, so nothing judged;
# the time inside each swap is part of its frame's.
[ "$(awk -F, 'NR > 1 && $10 == 1 { printf "%d ", $1 }' "$dir/p.csv")" = "$(seq -s ' ' 4 5 "$frames") " ] ||
  fail "expected stalled frames 4, 9, 14, ... of 0..$frames"
[ "$planted" = $(((frames + 1) / 5)) ] || fail "reported $planted stalls planted in frames 0..$frames"
awk -F, 'NR > 1 && ($5 $6 $7 $8 $9 != "" || ($10 == 1 && $3 < 60) || $4 < 0 || $4 > $3) { print "FAIL: CSV line " NR ": " $0; bad = 1 }
  END { exit bad }' "$dir/p.csv" >&2 || exit 1
# The wait is in the planted frames' own times, not their successors': their median is well above the rest's.
median() { awk -F, -v planted="$1" 'NR > 2 && $10 == planted { print $3 }' "$dir/p.csv" | sort -n |
  awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
awk -v s="$(median 1)" -v o="$(median 0)" 'BEGIN { exit !(s - o > 15) }' ||
  fail "planted frames' median $(median 1) ms is not 15 ms above the others' $(median 0) ms"

# All the frame times span at least the 2 s asked, within this script's clock; the mean is over the frames after
# the first (the lows: test_pacing).
awk -v n="$frames" -v fps="$fps" -v wall="$wall_ms" -F, 'NR > 1 { all += $3 } NR > 2 { sum += $3 } END {
  if (all < 2000 || all > wall || (fps - n * 1000 / sum) ^ 2 > 0.051 ^ 2) {
    printf "FAIL: %d frames in %.1f ms (%.1f after the first; 2000..%d wanted), reported as %s fps\n", n, all, sum, wall, fps; exit 1 } }' \
  "$dir/p.csv" >&2 || exit 1
[ "$(identify -format '%m %w %h' "$dir/p.png")" = "PNG 640 360" ] || fail "expected a 640x360 PNG: $(identify "$dir/p.png" 2>&1)"

# On Xvfb: its mode has no dot clock and its GLX no OML sync control, so neither is known; the renderer is the one
# glxinfo names.
e2e_start_xvfb
SDL_VIDEODRIVER=x11 "$tool" --seconds 0.5 >"$dir/out" 2>"$dir/err" ||
  fail "on Xvfb: exit status $?: $(cat "$dir/err")"
[ ! -s "$dir/err" ] || fail "on Xvfb: expected nothing on stderr after a full run, got: $(cat "$dir/err")"
glx() { glxinfo -B | sed -n "s/^OpenGL $1 string: //p"; }
[ "$(line 2)" = "renderer: $(glx renderer); OpenGL $(glx version); $(glx vendor); SDL video driver x11" ] ||
  fail "on Xvfb: expected the renderer glxinfo names ($(glx renderer); $(glx version); $(glx vendor)), got: $(line 2)"
why='the GLX server offers no GLX_OML_sync_control'
[ "$(line 4)" = "display: refresh rate unknown (XRandR's mode 1280x1024 has no dot clock); presentation times: not offered ($why)" ] ||
  fail "on Xvfb: expected the display line fourth, got: $(line 4)"
[[ $(line 5) =~ ^vsync:\ unknown\;\ 1%\ low\ [0-9.]+\ fps,\ 0.1%\ low\ [0-9.]+\ fps\ \(of\ [0-9]+\ frame\ times\)$ ]] ||
  fail "on Xvfb: expected 'vsync: unknown' fifth, got: $(line 5)"
[ "$(line 6)" = "latency: swap to present unknown (no presentation times: $why)" ] ||
  fail "on Xvfb: expected the latency line to say why not, got: $(line 6)"
echo "ok: $frames frames after a $first ms first, $fps fps" >&2
