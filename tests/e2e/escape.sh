#!/usr/bin/env bash
# Escape, pressed for real through the X server, ends the program with status 0 after it has run
# frames and printed its input lines.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@" xdotool import
e2e_start_xvfb
e2e_start_program
e2e_wait_for_frames
e2e_focus_window
xdotool key Escape || fail "xdotool could not press Escape"
e2e_expect_exit "after Escape"
e2e_expect_console_lines
e2e_expect_line "0 0 0 0" "frames before Escape, no key held"
