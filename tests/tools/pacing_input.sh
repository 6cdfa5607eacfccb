#!/usr/bin/env bash
# brimvalk-pacing's input line for keys from outside: pressed through XTEST on Xvfb (--press), or on weston
# (E2E_WAYLAND_ENV) sent to weston's X window, reaching the program through weston's seat and timed on the
# presentation clock weston names in its log; each key change against the frame where the program's own line changed.
# --press is refused where it cannot work (offscreen; Wayland, whose clients cannot send keys). The keys the tool
# sets itself (--hold): pacing.sh.
. "$(dirname "$0")/../e2e/lib.sh"
e2e_setup "${1:-}" xdotool import identify
tool=$(realpath "$1") dir=$e2e_dir

# changed_frames FILE: the frames (from 0) whose input line differs from the one before (all zero before frame 0).
changed_frames() {
  grep -v fps "$1" | awk '{ if ($0 != last) printf "%d ", NR - 1; last = $0 } BEGIN { last = "0 0 0 0" }'
}
# keyed_frames CSV LEAST SHORT: the frames with an input_ms, each above 0 and under a second, and (LEAST 1) at least
# its frame's time less SHORT ms.
keyed_frames() {
  awk -F, -v least="$2" -v short="$3" 'NR > 1 && $11 != "" { printf "%d ", $1
      if ($11 <= 0 || $11 < least * $3 - short || $11 >= 1000) { print "FAIL: frame " $1 ": input_ms " $11 ", frame_ms " $3 >"/dev/stderr"; bad = 1 } }
    END { exit bad }' "$1"
}

# --press where no key can be sent, or with --hold: status 2, the reason, and nothing written.
if e2e_on_wayland; then
  e2e_join_wayland
  refusal='a Wayland client cannot send key events'
else
  export SDL_VIDEODRIVER=offscreen
  refusal='press cannot be used here: there is no display server'
fi
"$tool" --seconds 1 --press 4 --csv "$dir/refused.csv" >"$dir/out" 2>"$dir/err"
status=$?
[ $status = 2 ] && grep -q "$refusal" "$dir/err" && [ ! -e "$dir/refused.csv" ] ||
  fail "--press: expected status 2 and '$refusal', got $status: $(cat "$dir/err")"
"$tool" --press 4 --hold up:1 >"$dir/out" 2>"$dir/err"
[ $? = 2 ] && grep -q -- '--press and --hold' "$dir/err" || fail "--press with --hold: expected status 2: $(cat "$dir/err")"

if e2e_on_wayland; then
  clock=$(sed -n 's/.*presentation clock: \(CLOCK_[A-Z_]*\),.*/\1/p' "$(dirname "$E2E_WAYLAND_ENV")/weston.log" | head -n 1)
  [ -n "$clock" ] || fail "weston's log names no presentation clock"
  # Each key down until three new frames are on screen, then up until three more: each change is shown, not replaced.
  "$tool" --seconds 600 --csv "$dir/p.csv" --program-output "$dir/p.program" >"$dir/out" 2>"$dir/err" &
  e2e_pid=$!
  e2e_wait_for_window
  e2e_wait_for_new_frames 3 "before the keys"
  e2e_focus_window
  for key in Right z Left x; do
    xdotool keydown "$key" || fail "xdotool could not press $key"
    e2e_wait_for_new_frames 3 "holding $key"
    xdotool keyup "$key" || fail "xdotool could not release $key"
    e2e_wait_for_new_frames 3 "after releasing $key"
  done
  kill -TERM "$e2e_pid"
  e2e_expect_exit "after SIGTERM"
  line=$(grep "^input:" "$dir/out")
  [[ $line =~ ^input:\ 8\ key\ changes,\ event\ to\ presented\ p50\ [0-9.]+\ ms,\ p95\ [0-9.]+\ ms,\ max\ [0-9.]+\ ms\ \(zwp_input_timestamps_v1(\ on\ CLOCK_[A-Z_]+,\ put\ on\ the)?\ presentation\ clock\ ([A-Z_]+)\)$ ]] ||
    fail "expected 8 key changes, all shown, timed to their presentation, got: $line"
  [ "${BASH_REMATCH[2]}" = "$clock" ] || fail "times put on ${BASH_REMATCH[2]}; weston presents on $clock"
  keyed=$(keyed_frames "$dir/p.csv" 0 0) || exit 1
  [ "$(echo "$keyed" | wc -w)" = 8 ] && [ "$keyed" = "$(changed_frames "$dir/p.program")" ] ||
    fail "input_ms in frames $keyed; the program's line changed in frames $(changed_frames "$dir/p.program")"
  echo "ok: $line" >&2
  exit 0
fi

# Xvfb: an arrow pressed every 6 frames through XTEST and held 3. Every press is seen, and each key change's frame
# is where the program's own line changed; a latency is under a second and at least the frame that shows it: the
# key goes down before the previous frame's swap. The server may stamp it only as that swap returns, while the
# program is still to sample its keys: short of the frame by that, the clock offset's ±D and its 1 ms steps.
e2e_start_xvfb
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
