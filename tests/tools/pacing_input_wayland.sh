#!/usr/bin/env bash
# brimvalk-pacing's input line on weston (E2E_WAYLAND_ENV): keys sent to weston's X window reach the program
# through weston's seat; every key change is matched to the frame where the program's own line changed, timed on
# the presentation clock weston names in its log. --press is refused: a Wayland client cannot send keys.
. "$(dirname "$0")/../e2e/lib.sh"
e2e_setup "${1:-}" xdotool import
tool=$(realpath "$1") dir=$e2e_dir
e2e_join_wayland
clock=$(sed -n 's/.*presentation clock: \(CLOCK_[A-Z_]*\),.*/\1/p' "$(dirname "$E2E_WAYLAND_ENV")/weston.log" | head -n 1)
[ -n "$clock" ] || fail "weston's log names no presentation clock"

"$tool" --seconds 1 --press 4 --csv "$dir/refused.csv" >"$dir/out" 2>"$dir/err"
status=$?
[ $status = 2 ] && grep -q 'a Wayland client cannot send key events' "$dir/err" && [ ! -e "$dir/refused.csv" ] ||
  fail "--press on Wayland: expected status 2 and why, got $status: $(cat "$dir/err")"

# Each key down until three new frames are on screen, then up until three more: each change is shown, not replaced.
"$tool" --seconds 600 --csv "$dir/w.csv" --program-output "$dir/program" >"$dir/out" 2>"$dir/err" &
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
changed=$(grep -v fps "$dir/program" | awk '{ if ($0 != last) printf "%d ", NR - 1; last = $0 } BEGIN { last = "0 0 0 0" }')
keyed=$(awk -F, 'NR == 1 { for (i = 1; i <= NF; i++) column[$i] = i; k = column["input_ms"] }
  NR > 1 && $k != "" { printf "%d ", $1; if ($k <= 0 || $k >= 1000) { print "FAIL: frame " $1 ": input_ms " $k >"/dev/stderr"; bad = 1 } }
  END { exit bad }' "$dir/w.csv") || exit 1
[ "$(echo "$changed" | wc -w)" = 8 ] && [ "$keyed" = "$changed" ] ||
  fail "input_ms in frames $keyed; the program's line changed in frames $changed"
echo "ok: $line" >&2
