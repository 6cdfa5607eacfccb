#!/usr/bin/env bash
# Keys held down through the X server show in the per-frame input line: the right arrow as
# horizontal +1, Z as button 1 (32768), up and left together as -1 -1. The layer reads the
# server's keymap, as Win32 reads the system-wide key state, so focus would not matter.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@" xdotool import

# hold SECONDS KEY...: presses the keys, keeps them down, releases them.
hold() {
  local seconds=$1
  shift
  xdotool keydown "$@" || fail "xdotool could not press $*"
  sleep "$seconds"
  xdotool keyup "$@" || fail "xdotool could not release $*"
  sleep 0.3
}

e2e_start_xvfb
e2e_start_program
e2e_wait_for_window
e2e_wait_for_frames
e2e_focus_window
hold 1 Right
hold 1 z
hold 1 Up Left
xdotool key Escape || fail "xdotool could not press Escape"
e2e_wait_for_exit 15 "after Escape"
e2e_expect_status 0 "after Escape"
e2e_expect_console_lines

e2e_expect_line "0 1 0 0" "right arrow held"
e2e_expect_line "0 0 32768 0" "Z held"
e2e_expect_line "-1 -1 0 0" "up and left arrows held"

# Nothing else shows: one of up and left alone only while the pair goes down or up, and no key
# stays down once released, so the last frames read all zero.
inputs=$(grep -v ' fps ' "$e2e_dir/stdout")
unexpected=$(echo "$inputs" | grep -vxF -e '0 0 0 0' -e '0 1 0 0' -e '0 0 32768 0' -e '-1 -1 0 0' \
  -e '-1 0 0 0' -e '0 -1 0 0' | sort -u | tr '\n' ',')
[ -z "$unexpected" ] || fail "expected only the held keys' input lines, also got: $unexpected all lines: $(e2e_input_summary)"
last=$(echo "$inputs" | tail -n 1)
[ "$last" = "0 0 0 0" ] || fail "expected the last input line, after every key was released, to be '0 0 0 0', got '$last'"

# In the order the keys were held.
first() {
  echo "$inputs" | grep -nxF -m 1 -- "$1" | cut -d: -f1
}
[ "$(first '0 1 0 0')" -lt "$(first '0 0 32768 0')" ] && [ "$(first '0 0 32768 0')" -lt "$(first '-1 -1 0 0')" ] ||
  fail "expected right, then Z, then up+left in the output, got them first at lines $(first '0 1 0 0'), $(first '0 0 32768 0'), $(first '-1 -1 0 0')"
e2e_log "input lines: $(e2e_input_summary)"
