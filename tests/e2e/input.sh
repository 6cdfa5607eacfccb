#!/usr/bin/env bash
# Keys held through the X server show in the per-frame input line: the right arrow as horizontal
# +1, Z as button 1 (32768), up and left together as -1 -1, and down as vertical +1 while another
# window has the focus (keys act system-wide); and a frame-rate line once a second.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@" xdotool xwininfo import
hold() { xdotool keydown "$@" && sleep 1 && xdotool keyup "$@" && sleep 0.3 || fail "xdotool could not hold $*"; }
e2e_start_xvfb
e2e_start_program
e2e_wait_for_frames
e2e_focus_window
hold Right
hold z
hold Up Left
xdotool mousemove 1279 1023 && xdotool windowfocus "$(xwininfo -root | awk '/Window id:/ { print $4 }')" ||
  fail "could not move the focus to the root window"
[ "$(xdotool getwindowfocus)" != "$e2e_window" ] || fail "the program's window kept the focus"
hold Down
e2e_focus_window
xdotool key Escape || fail "xdotool could not press Escape"
e2e_expect_exit "after Escape"
e2e_expect_console_lines

# Right, Z, up+left, down in the order held; otherwise idle, or one of up and left while the pair goes down or up.
inputs=$(grep -v ' fps ' "$e2e_dir/stdout")
held=$(echo "$inputs" | grep -xF -e '0 1 0 0' -e '0 0 32768 0' -e '-1 -1 0 0' -e '1 0 0 0' | uniq | tr '\n' ,)
[ "$held" = "0 1 0 0,0 0 32768 0,-1 -1 0 0,1 0 0 0," ] || fail "expected right, then Z, then up+left, then down, got the runs $held"
odd=$(echo "$inputs" | grep -vxF -e '0 0 0 0' -e '0 1 0 0' -e '0 0 32768 0' -e '-1 -1 0 0' -e '-1 0 0 0' -e '0 -1 0 0' -e '1 0 0 0')
[ -z "$odd" ] || fail "expected only the held keys' input lines, also got: $(echo "$odd" | sort -u | tr '\n' ,)"
[ "$(echo "$inputs" | tail -n 1)" = "0 0 0 0" ] || fail "expected all zero once every key was released"

# A frame-rate line once a second: each reports at most the frames since the one before.
reports=$(grep -c ' fps ' "$e2e_dir/stdout")
[ "$reports" -ge 2 ] && [ "$reports" -le "$SECONDS" ] || fail "expected a frame-rate line a second in $SECONDS s, got $reports"
awk '/ fps / { if ($1 > n) { print "FAIL: " $0 "after " n " frames"; exit 1 } n = 0; next } { n++ }' "$e2e_dir/stdout" >&2 ||
  fail "expected no frame-rate above the frames counted since the last report"
