#!/usr/bin/env bash
# brimvalk-pacing run offscreen for 3 s: its frame count against the input lines the program
# printed, its mean and 1% low against the frame times it wrote and against this script's own clock,
# planted stalls in the frames and times they should be, the plot's size as ImageMagick decodes it;
# bad arguments refused with status 2, leaving no file; and the display lines where nothing is known,
# offscreen and on Xvfb.
set -u -o pipefail
tool=$(realpath "${1:?usage: pacing.sh path/to/brimvalk-pacing}") || exit 1
dir=$(mktemp -d "${TMPDIR:-/tmp}/brimvalk-pacing.XXXXXX") || exit 1
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export SDL_VIDEODRIVER=offscreen

# Bad arguments: status 2, a reason on stderr naming what was wrong, nothing written anywhere.
mkdir "$dir/bad" "$dir/bad/adir"
while IFS='|' read -r args reason; do
  # shellcheck disable=SC2086
  (cd "$dir/bad" && "$tool" $args >../out 2>../err)
  status=$?
  [ "$status" = 2 ] || fail "'$args': expected exit status 2, got $status"
  grep -q -- "$reason" "$dir/err" || fail "'$args': expected '$reason' on stderr, got: $(cat "$dir/err")"
  [ ! -s "$dir/out" ] || fail "'$args': expected nothing on stdout, got: $(cat "$dir/out")"
  left=$(cd "$dir/bad" && find . -mindepth 1 ! -path ./adir)
  [ -z "$left" ] || fail "'$args': left files behind: $left"
done <<'CASES'
--seconds 0|--seconds wants a number above 0
--seconds -1.5|"-1.5"
--seconds two|"two"
--seconds 1e9|at most 3600
--seconds|incomplete option "--seconds"
--size 100x100 --png p.png|--size wants
--png /nonexistent/p.png|cannot write /nonexistent/p.png
--png adir|cannot write adir: it is a directory
--png p.png --csv /nonexistent/p.csv|cannot write /nonexistent/p.csv
--png p.png --program-output /nonexistent/out|cannot write /nonexistent/out
--stall 1:10|--stall wants EVERY:MS
--stall 5|"5"
--stall 5:1001|--stall wants
CASES

# A 3 s run with the right arrow held for its first 3 frames (a loaded machine may draw only ten)
# and every fifth frame held back 60 ms.
start=$(date +%s%N)
"$tool" --seconds 3 --hold right:0-3 --stall 5:60 --png "$dir/p.png" --size 640x360 --csv "$dir/p.csv" \
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
low1=${BASH_REMATCH[1]} low01=${BASH_REMATCH[2]}
[[ $(sed -n 5p "$dir/out") =~ ^stalls:\ ([0-9]+)\ planted$ ]] || fail "expected 'stalls: S planted' fifth, got: $(sed -n 5p "$dir/out")"
planted=${BASH_REMATCH[1]}
[ "$(wc -l <"$dir/out")" = 5 ] || fail "expected five lines on stdout, got $(wc -l <"$dir/out")"

# One frame a time for every input line RunFrameLoop printed; the held key in exactly the first 3.
inputs=$(grep -cE '^-?[0-9]+ -?[0-9]+ -?[0-9]+ -?[0-9]+$' "$dir/program")
[ "$frames" -gt 3 ] && [ "$frames" = "$inputs" ] ||
  fail "reported $frames frames; the program printed $inputs input lines"
held=$(grep -v fps "$dir/program" | grep -n -x '0 1 0 0' | cut -d: -f1 | tr '\n' ' ')
[ "$held" = "1 2 3 " ] || fail "expected the right arrow in input lines 1-3, got lines $held"
[ "$(sed -n 1p "$dir/p.csv")" = "frame,frame_ms,present_ms,refreshes,stalled" ] || fail "expected the CSV's header line"
[ "$(tail -n +2 "$dir/p.csv" | cut -d, -f1 | tr '\n' ' ')" = "$(seq -s ' ' 0 $((frames - 1))) " ] ||
  fail "expected CSV frames 0..$((frames - 1))"
# Frames 4, 9, 14, ... planted, and each at least the 30 ms it was held back; nothing presented.
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

# The frame times span the run: at least the 3 s asked, within this script's clock; the mean is
# the count over that span (the percentiles' arithmetic is test_pacing's).
awk -v n="$frames" -v fps="$fps" -v wall="$wall_ms" -v low1="$low1" -v low01="$low01" -F, '
  NR > 1 { sum += $2; ms[NR - 2] = $2 }
  END {
    # The lows: the slowest ceil(n/100) and ceil(n/1000) frames, sorted here by selection.
    for (k = 1; k <= int((n + 99) / 100); k++) {
      worst = -1; for (i in ms) if (worst < 0 || ms[i] + 0 > ms[worst] + 0) worst = i
      slow += ms[worst]; if (k == 1) slowest = ms[worst]; delete ms[worst]
    }
    expect = 1000 * (k - 1) / slow
    if (low1 - expect > 0.051 || expect - low1 > 0.051) bad = bad sprintf(" 1%% low %s fps, but the slowest %d frames say %.2f;", low1, k - 1, expect)
    if (low01 - 1000 / slowest > 0.051 || 1000 / slowest - low01 > 0.051) bad = bad sprintf(" 0.1%% low %s fps, but the slowest frame says %.2f;", low01, 1000 / slowest)
    if (sum < 3000 || sum > wall) bad = bad sprintf(" frame times add up to %.1f ms, not 3000..%d;", sum, wall)
    if (fps - n * 1000 / sum > 0.051 || n * 1000 / sum - fps > 0.051) bad = bad sprintf(" mean %s fps, but %d frames in %.1f ms;", fps, n, sum)
    if (bad != "") { print "FAIL:" bad; exit 1 }
  }' "$dir/p.csv" >&2 || exit 1

size=$(identify -format '%m %w %h' "$dir/p.png") || fail "ImageMagick cannot decode the plot"
[ "$size" = "PNG 640 360" ] || fail "expected a 640x360 PNG, got '$size'"
left=$(find "$dir" -name '*partial*')
[ -z "$left" ] || fail "left partial files: $left"

# On Xvfb: its mode has no dot clock and its GLX no OML sync control, so neither is known.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 100); do grep -qx '[0-9][0-9]*' "$dir/display" 2>/dev/null && break; sleep 0.1; done
grep -qx '[0-9][0-9]*' "$dir/display" || fail "Xvfb gave no display: $(tail -n 3 "$dir/xvfb.log")"
DISPLAY=":$(cat "$dir/display")" SDL_VIDEODRIVER=x11 "$tool" --seconds 0.5 >"$dir/out" 2>"$dir/err" ||
  fail "on Xvfb: exit status $?: $(cat "$dir/err")"
[ "$(sed -n 3p "$dir/out")" = "display: refresh rate unknown (XRandR's mode 1280x1024 has no dot clock); presentation times: not offered (the GLX server offers no GLX_OML_sync_control)" ] ||
  fail "on Xvfb: expected the display line third, got: $(sed -n 3p "$dir/out")"
[[ $(sed -n 4p "$dir/out") =~ ^vsync:\ unknown\;\ 1%\ low\ [0-9.]+\ fps,\ 0.1%\ low\ [0-9.]+\ fps$ ]] ||
  fail "on Xvfb: expected 'vsync: unknown' fourth, got: $(sed -n 4p "$dir/out")"
echo "ok: $frames frames, $fps fps" >&2
