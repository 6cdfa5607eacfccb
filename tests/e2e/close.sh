#!/usr/bin/env bash
# Closing the window ends the program with status 0: the close request (WM_DELETE_WINDOW, what the
# close box sends) while it runs frames, and Ctrl+C (SIGINT) or SIGTERM, which close it the same way,
# during start-up as soon as its X window exists and while it runs frames. Xvfb has no window
# manager, so the script sends the close request itself, once the window lists it in WM_PROTOCOLS.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@" xdotool xwininfo xprop import
[ -x "${E2E_WM_DELETE:-}" ] || fail "E2E_WM_DELETE does not name the built WM_DELETE_WINDOW sender"
e2e_start_xvfb
for how in start-up:INT start-up:TERM running:INT running:TERM running:close; do
  when=${how%:*} what=${how#*:}
  e2e_start_program
  if [ "$when" = running ]; then
    e2e_wait_for_frames
  else
    for _ in $(seq 1000); do xwininfo -name "$E2E_TITLE" >/dev/null 2>&1 && break; sleep 0.02; done
    xwininfo -name "$E2E_TITLE" >/dev/null 2>&1 || fail "no window titled '$E2E_TITLE' within 20 s"
  fi
  if [ "$what" = close ]; then
    protocols=$(xprop -id "$e2e_window" WM_PROTOCOLS)
    [[ $protocols == *WM_DELETE_WINDOW* ]] || fail "expected WM_DELETE_WINDOW among the window's protocols: $protocols"
    "$E2E_WM_DELETE" "$e2e_window" || fail "could not send WM_DELETE_WINDOW to window $e2e_window"
  else
    kill -s "$what" "$e2e_pid" || fail "could not send SIG$what"
  fi
  e2e_expect_exit "after $what during $when"
  [ "$when" = start-up ] || e2e_expect_line "0 0 0 0" "frames before $what"
done
