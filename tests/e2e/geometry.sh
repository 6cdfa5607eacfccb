#!/usr/bin/env bash
# The window's title and client area as the X server (or weston) sees it, and the title drawn in it.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@" xdotool xwininfo xprop import convert
e2e_start_xvfb
e2e_start_program
e2e_wait_for_window
if e2e_on_wayland; then
  # On weston's 1024x768 output with no panel, desktop-shell has room for it only at (0, 0).
  read -r x y width height <<<"$(e2e_wayland_view)"
  got="'$E2E_TITLE' ${width}x${height} at $x,$y"
  want="'$E2E_TITLE' 1024x768 at 0,0"
  [ "$got" = "$want" ] || fail "expected weston to list the window $want, got $got"
  e2e_log "$got (weston's scene graph)"
else
  info=$(xwininfo -id "$e2e_window") || fail "xwininfo could not describe window $e2e_window"
  field() { echo "$info" | sed -n "s/^ *$1: *//p"; }
  title=$(echo "$info" | sed -n 's/^xwininfo: Window id: [^ ]* "\(.*\)"$/\1/p')
  got="'$title' $(field Width)x$(field Height) at $(field 'Absolute upper-left X'),$(field 'Absolute upper-left Y')"
  # On the 1280x1024 screen the 1032x795 frame starts at (124, 114), the client area 4 and 23 further in.
  want="'$E2E_TITLE' 1024x768 at 128,137"
  [ "$got" = "$want" ] || fail "expected the window $want, got $got"
  e2e_log "$got"

  # No maximise box: MWM_FUNC_MAXIMIZE (0x10) off, MWM_FUNC_RESIZE (0x2) on.
  hints=$(xprop -id "$e2e_window" _MOTIF_WM_HINTS | sed -n 's/.* = //p' | tr -d ' ')
  functions=$(echo "$hints" | cut -d, -f2)
  [ -n "$functions" ] && (( (${hints%%,*} & 1) && (functions & 0x10) == 0 && (functions & 0x2) )) ||
    fail "expected _MOTIF_WM_HINTS with resizing and without maximising, got '$hints'"
fi

e2e_wait_for_frames
e2e_wait_for_new_frames 2 "before the capture"
import -silent -window "$e2e_window" "$e2e_dir/frame.png" || fail "could not capture the window"
# The title at half alpha is about 0.47 red and blue; bodies and the grid have more green than red.
magenta=$(convert "$e2e_dir/frame.png" -crop 200x24+0+744 +repage -fx 'r > 0.35 && b > 0.35 && g < 0.3' \
  -format '%[fx:mean]' info:) || fail "could not read the captured window"
awk -v share="$magenta" 'BEGIN { exit !(share > 0.05) }' ||
  fail "expected the magenta title at the bottom-left corner, got a magenta share of $magenta"
e2e_log "title corner: magenta share $magenta"
