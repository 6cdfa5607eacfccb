#!/usr/bin/env bash
# The close box's WM_DELETE_WINDOW (Xvfb has no window manager: sent here), then the window destroyed by another client.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@" xdotool xprop import
[ -x "${E2E_WM_DELETE:-}" ] || fail "E2E_WM_DELETE does not name the built WM_DELETE_WINDOW sender"
e2e_start_xvfb
e2e_start_program
e2e_wait_for_frames
protocols=$(xprop -id "$e2e_window" WM_PROTOCOLS)
[[ $protocols == *WM_DELETE_WINDOW* ]] || fail "expected WM_DELETE_WINDOW among the window's protocols: $protocols"
"$E2E_WM_DELETE" "$e2e_window" || fail "could not send WM_DELETE_WINDOW to window $e2e_window"
e2e_expect_exit "after the close request"
e2e_expect_line "0 0 0 0" "frames before the close request"

# No Windows counterpart (DestroyWindow is refused for another thread's window): the layer's alone.
e2e_under_wine && exit 0
e2e_start_program
e2e_wait_for_frames
xdotool windowclose "$e2e_window" || fail "xdotool could not destroy window $e2e_window"
e2e_expect_exit "after another client destroyed the window"
[ -s "$e2e_dir/stderr" ] && fail "expected nothing on stderr after the window was destroyed, got: $(head -c 300 "$e2e_dir/stderr")"
e2e_expect_line "0 0 0 0" "frames before the window was destroyed"
