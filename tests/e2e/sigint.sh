#!/usr/bin/env bash
# Ctrl+C (SIGINT) and SIGTERM close the window the way the close box does, so the program tears
# down and exits with status 0 instead of being killed by the signal: while it runs frames, and
# during start-up, as soon as its window is up and before the first frame.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@" xdotool xwininfo import

e2e_start_xvfb
for signal in INT TERM; do
  e2e_start_program
  e2e_wait_for_window
  e2e_wait_for_frames
  kill -s "$signal" "$e2e_program_pid" || fail "could not send SIG$signal"
  e2e_wait_for_exit 15 "after SIG$signal while running"
  e2e_expect_status 0 "after SIG$signal while running"
  e2e_expect_console_lines
  e2e_expect_line "0 0 0 0" "frames before SIG$signal"
  e2e_log "SIG$signal while running: status 0"
done

# Start-up: the signal goes as soon as the X window exists, before the device is set up.
for signal in INT TERM; do
  e2e_start_program
  for _ in $(seq 1 1000); do
    xwininfo -name "$E2E_TITLE" >/dev/null 2>&1 && break
    kill -0 "$e2e_program_pid" 2>/dev/null || fail "the program ended before its window appeared"
    sleep 0.02
  done
  xwininfo -name "$E2E_TITLE" >/dev/null 2>&1 || fail "no window titled '$E2E_TITLE' within 20 s"
  kill -s "$signal" "$e2e_program_pid" || fail "could not send SIG$signal"
  e2e_wait_for_exit 15 "after SIG$signal during start-up"
  e2e_expect_status 0 "after SIG$signal during start-up"
  e2e_log "SIG$signal during start-up: status 0 after $(grep -c '' "$e2e_dir/stdout") input lines"
done
