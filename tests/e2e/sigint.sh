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
  env --default-signal=INT ${1:+--ignore-signal=$1} "$e2e_program" >"$e2e_dir/stdout" 2>"$e2e_dir/stderr" &
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

# On Wayland Ctrl+C alone: the other signals, a repeat and a signal ignored at start are the
# message queue's own business, the same on every display.
signals="INT TERM HUP"
e2e_on_wayland && signals=INT
for when in start-up running; do
  for signal in $signals; do
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
done

e2e_on_wayland && exit 0

# Ctrl+C delivered twice within milliseconds, as `timeout -s INT` does (to the program, then to its
# group): one request, not a stuck program to be killed. Both reach the handler before the loop comes
# round in most tries (two signals still pending at once would merge into one), hence three tries.
for _ in 1 2 3; do
  start_ignoring
  e2e_wait_for_frames
  kill -s INT "$e2e_pid" || fail "could not send SIGINT"
  sleep 0.003
  kill -s INT "$e2e_pid" 2>/dev/null  # the program may have ended on the first already
  e2e_expect_exit "after SIGINT delivered twice within milliseconds"
  e2e_expect_console_lines
done

start_ignoring INT,TERM,HUP
e2e_wait_for_frames
for signal in INT TERM HUP; do kill -s "$signal" "$e2e_pid" || fail "could not send SIG$signal"; done
sleep 3
kill -0 "$e2e_pid" 2>/dev/null || fail "SIGINT, SIGTERM and SIGHUP were ignored at start, yet the program ended on them"
e2e_escape "Escape after the ignored signals"
