#!/usr/bin/env bash
# Started with stdout and stderr closed, descriptors 1 and 2 must be /dev/null, not the X connection.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@" xdotool import
e2e_start_xvfb
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 stdbuf -oL "$e2e_program" >&- 2>&- &
e2e_pid=$!
e2e_wait_for_window
for descriptor in 1 2; do
  target=$(readlink "/proc/$e2e_pid/fd/$descriptor")
  [ "$target" = /dev/null ] || fail "expected descriptor $descriptor on /dev/null, got '$target'"
done
e2e_wait_for_new_frames 5 "with stdout and stderr closed"
e2e_escape "Escape after 5 frames shown with stdout and stderr closed"
