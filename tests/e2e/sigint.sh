#!/usr/bin/env bash
# Ctrl+C (SIGINT) and SIGTERM close the window as the close box does, so the program tears down and
# exits with status 0: during start-up, as soon as its X window exists, and while it runs frames.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@" xdotool xwininfo import
e2e_start_xvfb
for when in start-up running; do
  for signal in INT TERM; do
    e2e_start_program
    if [ "$when" = running ]; then
      e2e_wait_for_frames
    else
      for _ in $(seq 1000); do xwininfo -name "$E2E_TITLE" >/dev/null 2>&1 && break; sleep 0.02; done
      xwininfo -name "$E2E_TITLE" >/dev/null 2>&1 || fail "no window titled '$E2E_TITLE' within 20 s"
    fi
    kill -s "$signal" "$e2e_pid" || fail "could not send SIG$signal"
    e2e_expect_exit "after SIG$signal during $when"
    [ "$when" = start-up ] || e2e_expect_line "0 0 0 0" "frames before SIG$signal"
  done
done
