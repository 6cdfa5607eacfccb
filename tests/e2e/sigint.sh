#!/usr/bin/env bash
# SIGINT, SIGTERM and SIGHUP close the window as the close box does, at each stage; signals ignored at start stay so.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@" xdotool xwininfo import env
e2e_start_xvfb

# start_ignoring [SIGNALS]: Ctrl+C at its default, as in a terminal (a script's `&` alone ignores it).
start_ignoring() { E2E_LAUNCHER="env --default-signal=INT ${1:+--ignore-signal=$1} stdbuf -oL" e2e_start_program; }

# Before the window: the X server stopped, the program waits in its first connection to it.
for signal in INT TERM HUP; do
  e2e_on_wayland && break
  kill -STOP "$e2e_xvfb_pid" || fail "could not stop Xvfb"
  start_ignoring
  e2e_wait_for_connection "SIG$signal before the window"
  kill -s "$signal" "$e2e_pid" || fail "could not send SIG$signal"
  kill -CONT "$e2e_xvfb_pid" || fail "could not let Xvfb go on"
  e2e_expect_exit "after SIG$signal before the window existed"
  [ ! -s "$e2e_dir/stdout" ] || fail "SIG$signal before the window: expected no frame, got $(wc -l <"$e2e_dir/stdout") lines"
done

# One handler serves all three signals (each is sent before the window above): later stages with Ctrl+C alone.
for when in start-up running; do
  start_ignoring
  if [ "$when" = running ]; then
    e2e_wait_for_frames
  else
    e2e_wait_for_window
  fi
  kill -s INT "$e2e_pid" || fail "could not send SIGINT"
  e2e_expect_exit "after SIGINT during $when"
  [ "$when" = start-up ] && continue
  e2e_expect_line "0 0 0 0" "frames before SIGINT"
  e2e_expect_console_lines
done
e2e_on_wayland && exit 0

start_ignoring INT,TERM,HUP
e2e_wait_for_frames
frames=$(($(e2e_count_lines "0 0 0 0") + 10))
for signal in INT TERM HUP; do kill -s "$signal" "$e2e_pid" || fail "could not send SIG$signal"; done
e2e_wait_for_lines "$frames" "0 0 0 0" "10 frames after SIGINT, SIGTERM and SIGHUP, which were ignored at start"
e2e_escape "Escape after the ignored signals"
