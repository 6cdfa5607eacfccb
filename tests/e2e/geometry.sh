#!/usr/bin/env bash
# The window as the X server sees it: titled "Brimvalk Test.", a 1024x768 client area, placed
# where a centred Windows frame (4 px sizing border, 19 px caption) puts its client area.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@" xdotool xwininfo import

e2e_start_xvfb
e2e_start_program
e2e_wait_for_window
info=$(xwininfo -id "$e2e_window") || fail "xwininfo could not describe window $e2e_window"
field() {
  echo "$info" | sed -n "s/^ *$1: *//p"
}

title=$(echo "$info" | sed -n 's/^xwininfo: Window id: [^ ]* "\(.*\)"$/\1/p')
[ "$title" = "$E2E_TITLE" ] || fail "expected the title '$E2E_TITLE', got '$title'"
[ "$(field Width)" = 1024 ] || fail "expected a client width of 1024, got '$(field Width)'"
[ "$(field Height)" = 768 ] || fail "expected a client height of 768, got '$(field Height)'"

# The outer frame is (1024 + 4 + 4) x (768 + 23 + 4), centred on the screen, and the client area
# sits 4 px right of and 23 px below its top-left corner.
expected_x=$(((E2E_SCREEN_WIDTH - 1032) / 2 + 4))
expected_y=$(((E2E_SCREEN_HEIGHT - 795) / 2 + 23))
[ "$(field 'Absolute upper-left X')" = "$expected_x" ] ||
  fail "expected the client area's left edge at x = $expected_x, got '$(field 'Absolute upper-left X')'"
[ "$(field 'Absolute upper-left Y')" = "$expected_y" ] ||
  fail "expected the client area's top edge at y = $expected_y, got '$(field 'Absolute upper-left Y')'"
[ "$(field 'Map State')" = IsViewable ] || fail "expected the window to be viewable, got '$(field 'Map State')'"

e2e_wait_for_frames
kill -s TERM "$e2e_program_pid"
e2e_wait_for_exit 15 "after SIGTERM"
e2e_expect_status 0 "after SIGTERM"
e2e_log "'$title' ${E2E_SCREEN_WIDTH}x${E2E_SCREEN_HEIGHT} screen: client 1024x768 at ($expected_x, $expected_y)"
