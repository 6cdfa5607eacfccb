#!/usr/bin/env bash
# Ctrl+C (SIGINT), SIGTERM and SIGHUP (the terminal closed) close the window as the close box does,
# so the program tears down, keeps every line it printed and exits with status 0: before its window
# exists (the X server not answering yet), as soon as its X window exists, and while it runs frames. A signal ignored when the program
# started stays ignored: a script's background job ignores Ctrl+C, and nohup ignores SIGHUP.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@" xdotool xwininfo import env
e2e_start_xvfb

# start_ignoring [SIGNALS]: the program with SIGNALS ignored and Ctrl+C at its default, as in a
# terminal's foreground (a script's `&` alone would start it with Ctrl+C ignored).
start_ignoring() {
  e2e_window=''
  ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 \
    env --default-signal=INT ${1:+--ignore-signal=$1} stdbuf -oL "$e2e_program" >"$e2e_dir/stdout" 2>"$e2e_dir/stderr" &
  e2e_pid=$!
}

# Before the window: the X server stopped, the program waits in its first connection to it; the
# signal is kept until the first look at the message queue, which closes the window before a frame.
for signal in INT TERM HUP; do
  e2e_on_wayland && break
  kill -STOP "$e2e_xvfb_pid" || fail "could not stop Xvfb"
  start_ignoring
  for _ in $(seq 1000); do
    ls -l "/proc/$e2e_pid/fd" 2>/dev/null | grep -q 'socket:' && break
    kill -0 "$e2e_pid" 2>/dev/null || break
    sleep 0.01
  done
  ls -l "/proc/$e2e_pid/fd" 2>/dev/null | grep -q 'socket:' || fail "the program opened no connection to the X server in 10 s"
  kill -s "$signal" "$e2e_pid" || fail "could not send SIG$signal"
  kill -CONT "$e2e_xvfb_pid" || fail "could not let Xvfb go on"
  e2e_expect_exit "after SIG$signal before the window existed"
  [ ! -s "$e2e_dir/stdout" ] || fail "SIG$signal before the window: expected no frame, got $(wc -l <"$e2e_dir/stdout") lines"
done

# One handler serves all three signals: start-up is checked with Ctrl+C alone, and on Wayland only
# Ctrl+C (the other signals are the message queue's own business, the same on every display).
runs="start-up:INT running:INT running:TERM running:HUP"
e2e_on_wayland && runs="start-up:INT running:INT"
for run in $runs; do
  when=${run%:*} signal=${run#*:}
  start_ignoring
  if [ "$when" = running ]; then
    e2e_wait_for_frames
  else
    for _ in $(seq 1000); do e2e_window_shown && break; sleep 0.02; done
    e2e_window_shown || fail "no window titled '$E2E_TITLE' within 20 s"
  fi
  kill -s "$signal" "$e2e_pid" || fail "could not send SIG$signal"
  e2e_expect_exit "after SIG$signal during $when"
  [ "$when" = start-up ] && continue
  e2e_expect_line "0 0 0 0" "frames before SIG$signal"
  e2e_expect_console_lines
done
e2e_on_wayland && exit 0

start_ignoring INT,TERM,HUP
e2e_wait_for_frames
frames=$(($(e2e_count_lines "0 0 0 0") + 10))
for signal in INT TERM HUP; do kill -s "$signal" "$e2e_pid" || fail "could not send SIG$signal"; done
e2e_wait_for_lines "$frames" "0 0 0 0" "10 frames after SIGINT, SIGTERM and SIGHUP, which were ignored at start"
e2e_escape "Escape after the ignored signals"
