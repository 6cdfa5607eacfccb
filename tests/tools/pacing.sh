#!/usr/bin/env bash
# brimvalk-pacing run offscreen for 2 s: its frame count against the input lines the program
# printed, its mean against the frame times it wrote and against this script's own clock, the
# plot's size as ImageMagick decodes it; and bad arguments refused with status 2, leaving no file.
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
CASES

# A 2 s run with the right arrow held for its first 3 frames (a loaded machine may draw only a few).
start=$(date +%s%N)
"$tool" --seconds 2 --hold right:0-3 --png "$dir/p.png" --size 640x360 --csv "$dir/p.csv" \
  --program-output "$dir/program" >"$dir/out" 2>"$dir/err" || fail "exit status $?: $(cat "$dir/err")"
wall_ms=$(( ($(date +%s%N) - start) / 1000000 ))
summary='^frames ([0-9]+), mean ([0-9.]+) fps, p50 [0-9.]+ ms, p95 [0-9.]+ ms, p99 [0-9.]+ ms, max [0-9.]+ ms, stutters [0-9]+$'
[[ $(sed -n 1p "$dir/out") =~ $summary ]] || fail "expected the summary line, got: $(cat "$dir/out")"
frames=${BASH_REMATCH[1]} fps=${BASH_REMATCH[2]}
[[ $(sed -n 2p "$dir/out") =~ ^swap\ interval:\ (asked\ 1|not\ asked).*,\ driver\ reports\ -?[0-9]+$ ]] ||
  fail "expected the swap interval line second, got: $(sed -n 2p "$dir/out")"
[ "$(wc -l <"$dir/out")" = 2 ] || fail "expected two lines on stdout, got $(wc -l <"$dir/out")"

# One frame a time for every input line RunFrameLoop printed; the held key in exactly the first 3.
inputs=$(grep -cE '^-?[0-9]+ -?[0-9]+ -?[0-9]+ -?[0-9]+$' "$dir/program")
[ "$frames" -gt 3 ] && [ "$frames" = "$inputs" ] || fail "reported $frames frames; the program printed $inputs input lines"
held=$(grep -v fps "$dir/program" | grep -n -x '0 1 0 0' | cut -d: -f1 | tr '\n' ' ')
[ "$held" = "1 2 3 " ] || fail "expected the right arrow in input lines 1-3, got lines $held"
[ "$(sed -n 1p "$dir/p.csv")" = "frame,frame_ms" ] || fail "expected the CSV's header line"
[ "$(tail -n +2 "$dir/p.csv" | cut -d, -f1 | tr '\n' ' ')" = "$(seq -s ' ' 0 $((frames - 1))) " ] ||
  fail "expected CSV frames 0..$((frames - 1))"

# The frame times span the run: at least the 2 s asked, within this script's clock; the mean is
# the count over that span (the percentiles' arithmetic is test_pacing's).
awk -v n="$frames" -v fps="$fps" -v wall="$wall_ms" -F, '
  NR > 1 { sum += $2 }
  END {
    if (sum < 2000 || sum > wall) bad = bad sprintf(" frame times add up to %.1f ms, not 2000..%d;", sum, wall)
    if (fps - n * 1000 / sum > 0.051 || n * 1000 / sum - fps > 0.051) bad = bad sprintf(" mean %s fps, but %d frames in %.1f ms;", fps, n, sum)
    if (bad != "") { print "FAIL:" bad; exit 1 }
  }' "$dir/p.csv" >&2 || exit 1

size=$(identify -format '%m %w %h' "$dir/p.png") || fail "ImageMagick cannot decode the plot"
[ "$size" = "PNG 640 360" ] || fail "expected a 640x360 PNG, got '$size'"
left=$(find "$dir" -name '*partial*')
[ -z "$left" ] || fail "left partial files: $left"
echo "ok: $frames frames, $fps fps" >&2
