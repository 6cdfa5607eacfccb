#!/usr/bin/env bash
# The window manager's close request (WM_DELETE_WINDOW, what clicking the close box sends) ends
# the program with status 0. There is no window manager under Xvfb, so the script sends the
# request itself, and only after checking that the window asks for it in WM_PROTOCOLS.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@" xdotool xprop import

e2e_build_wm_delete
e2e_start_xvfb
e2e_start_program
e2e_wait_for_window
protocols=$(xprop -id "$e2e_window" WM_PROTOCOLS)
case "$protocols" in
  *WM_DELETE_WINDOW*) ;;
  *) fail "expected WM_DELETE_WINDOW among the window's WM_PROTOCOLS, got: $protocols" ;;
esac
e2e_wait_for_frames
"$e2e_dir/wm-delete" "$e2e_window" || fail "could not send WM_DELETE_WINDOW to window $e2e_window"
e2e_wait_for_exit 15 "after the close request"
e2e_expect_status 0 "after the close request"
e2e_expect_console_lines
e2e_expect_line "0 0 0 0" "frames before the close request"
e2e_log "closed with status 0"
