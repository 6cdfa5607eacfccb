#!/usr/bin/env bash
# brimvalk-pacing's input line: keys held offscreen (--hold), --press refused where it cannot work, then keys pressed
# through XTEST on Xvfb (--press), each against the program's own input lines and the CSV's frame times.
. "$(dirname "$0")/../e2e/lib.sh"
e2e_setup "${1:-}"
tool=$(realpath "$1") dir=$e2e_dir

# changed_frames FILE: the frames (from 0) whose input line differs from the one before (all zero before frame 0).
changed_frames() {
  grep -v fps "$1" | awk '{ if ($0 != last) printf "%d ", NR - 1; last = $0 } BEGIN { last = "0 0 0 0" }'
}
# keyed_frames CSV LEAST SHORT: the frames with an input_ms, checked against their frame's time: at least LEAST times
# it less SHORT ms (LEAST 0: above 0), at most the frame's time, under a second.
keyed_frames() {
  awk -F, -v least="$2" -v short="$3" 'NR == 1 { for (i = 1; i <= NF; i++) column[$i] = i; f = column["frame_ms"]; k = column["input_ms"]
      if (!f || !k) { print "FAIL: CSV header " $0 >"/dev/stderr"; exit 1 } }
    NR > 1 && $k != "" { printf "%d ", $1
      if ($k <= 0 || $k < least * $f - short || (!least && $k > $f) || $k >= 1000) { print "FAIL: frame " $1 ": input_ms " $k ", frame_ms " $f >"/dev/stderr"; bad = 1 } }
    END { exit bad }' "$1"
}

# Offscreen: right held for frames 2-4 and Z for frame 3, set by the tool after the swap before; each latency is at
# most its frame's time (the key set after the previous swap's return), a little less by the tool's own work.
export SDL_VIDEODRIVER=offscreen
for seconds in 1 5 20; do
  "$tool" --seconds $seconds --hold right:2-5 --hold z:3-4 --csv "$dir/h.csv" --program-output "$dir/h.program" \
    >"$dir/out" 2>"$dir/err" || fail "--hold: exit status $?: $(cat "$dir/err")"
  [ "$(grep -c . "$dir/h.csv")" -gt 8 ] && break
done
[[ $(grep "^input:" "$dir/out") =~ ^input:\ 4\ key\ changes,\ event\ to\ swap\ return\ p50\ [0-9.]+\ ms,\ p95\ [0-9.]+\ ms,\ max\ [0-9.]+\ ms\ \(set\ by\ the\ tool\ with\ --hold:\ the\ program\'s\ and\ driver\'s\ part\ only\)$ ]] ||
  fail "--hold: expected 4 key changes set by the tool, got: $(grep "^input:" "$dir/out")"
[ "$(changed_frames "$dir/h.program")" = "2 3 4 5 " ] || fail "--hold: the program's line changed in frames $(changed_frames "$dir/h.program")"
keyed=$(keyed_frames "$dir/h.csv" 0 0) || exit 1
[ "$keyed" = "2 3 4 5 " ] || fail "--hold: expected input_ms in frames 2 3 4 5, got $keyed"

# --press where no key can be sent, or with --hold: status 2, the reason, and nothing written.
"$tool" --seconds 1 --press 4 --csv "$dir/refused.csv" >"$dir/out" 2>"$dir/err"
status=$?
[ $status = 2 ] && grep -q 'press cannot be used here: there is no display server' "$dir/err" && [ ! -e "$dir/refused.csv" ] ||
  fail "--press offscreen: expected status 2 and why, got $status: $(cat "$dir/err")"
"$tool" --press 4 --hold up:1 >"$dir/out" 2>"$dir/err"
[ $? = 2 ] && grep -q -- '--press and --hold' "$dir/err" || fail "--press with --hold: expected status 2: $(cat "$dir/err")"

# Xvfb: an arrow pressed every 6 frames through XTEST and held 3. Every press is seen, and each key change's frame
# is where the program's own line changed; a latency is under a second and at least the frame that shows it: the
# key goes down before the previous frame's swap. The server may stamp it only as that swap returns, while the
# program is still to sample its keys: short of the frame by that, the clock offset's ±D and its 1 ms steps.
e2e_start_xvfb
unset SDL_VIDEODRIVER
for seconds in 2 10 30; do
  "$tool" --seconds $seconds --press 6 --csv "$dir/p.csv" --png "$dir/p.png" --size 640x360 \
    --program-output "$dir/p.program" >"$dir/out" 2>"$dir/err" || fail "--press: exit status $?: $(cat "$dir/err")"
  [[ $(grep "^input:" "$dir/out") =~ presses:\ ([0-9]+)\ made ]] && [ "${BASH_REMATCH[1]}" -ge 4 ] && break
done
line=$(grep "^input:" "$dir/out")
[[ $line =~ ^input:\ ([0-9]+)\ key\ changes,\ event\ to\ swap\ return\ p50\ [0-9.]+\ ms,\ p95\ [0-9.]+\ ms,\ max\ [0-9.]+\ ms\ \(X\ server\ time,\ offset\ ±([0-9.]+)\ ms\)\;\ presses:\ ([0-9]+)\ made,\ ([0-9]+)\ seen$ ]] ||
  fail "--press: expected every change shown and the presses, got: $line"
changes=${BASH_REMATCH[1]} offset=${BASH_REMATCH[2]} made=${BASH_REMATCH[3]} seen=${BASH_REMATCH[4]}
[ "$made" -ge 4 ] && [ "$seen" = "$made" ] && [ "$changes" = $((2 * made)) ] ||
  fail "--press: expected every press seen and released, got: $line"
awk -v d="$offset" 'BEGIN { exit !(d > 0 && d < 5) }' || fail "--press: the X server's clock offset is known only to ±$offset ms"
keyed=$(keyed_frames "$dir/p.csv" 1 "$(awk -v d="$offset" 'BEGIN { print 2 + d }')") || exit 1
[ "$keyed" = "$(changed_frames "$dir/p.program")" ] ||
  fail "--press: input_ms in frames $keyed; the program's line changed in frames $(changed_frames "$dir/p.program")"
runs=$(grep -v fps "$dir/p.program" | uniq | grep -cxF -e '0 1 0 0' -e '0 -1 0 0')
[ "$runs" = "$made" ] || fail "--press: $made presses made, the program's lines show $runs runs of an arrow"
[ "$(identify -format '%m %w %h' "$dir/p.png")" = "PNG 640 360" ] || fail "expected a 640x360 PNG: $(identify "$dir/p.png" 2>&1)"
echo "ok: $made presses, $line" >&2
