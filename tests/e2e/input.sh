#!/usr/bin/env bash
# Keys held through the X server in the input lines and the player's outline on screen; Escape's press ends the run.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@" xdotool xwininfo import convert
# hold FRAMES LINE KEY...: until LINE has come FRAMES more times (Wine's lines come in blocks: new frames), then idle.
hold() {
  local frames=$1 line=$2 idle
  shift 2
  frames=$(($(e2e_count_lines "$line") + frames))
  xdotool keydown "$@" || fail "xdotool could not press $*"
  if e2e_under_wine; then e2e_wait_for_new_frames 4 "holding $*"
  else e2e_wait_for_lines "$frames" "$line" "holding $*"; fi
  idle=$(($(e2e_count_lines "0 0 0 0") + 1))
  xdotool keyup "$@" || fail "xdotool could not release $*"
  if e2e_under_wine; then e2e_wait_for_new_frames 2 "after releasing $*"
  else e2e_wait_for_lines "$idle" "0 0 0 0" "after releasing $*"; fi
}
e2e_start_xvfb
e2e_start_program
e2e_wait_for_frames
e2e_focus_window
hold 40 '0 1 0 0' Right
# The last step's swap may still be on its way to the server when the first idle line is printed: two more frames.
if e2e_under_wine; then e2e_wait_for_new_frames 2 "after releasing Right"
else e2e_wait_for_lines $(($(e2e_count_lines "0 0 0 0") + 2)) "0 0 0 0" "after releasing Right"; fi
import -silent -window "$e2e_window" "$e2e_dir/after-right.png" || fail "could not capture the window"
hold 10 '0 0 32768 0' z
hold 10 '-1 -1 0 0' Up Left
# Keys act system-wide on Windows (GetAsyncKeyState); Wine's X11 driver and Wayland see only their own windows'.
if ! e2e_under_wine && ! e2e_on_wayland; then
  xdotool mousemove 1279 1023 && xdotool windowfocus "$(xwininfo -root | awk '/Window id:/ { print $4 }')" ||
    fail "could not move the focus to the root window"
  [ "$(xdotool getwindowfocus)" != "$e2e_window" ] || fail "the program's window kept the focus"
  hold 10 '1 0 0 0' Down
  e2e_focus_window
fi
xdotool keydown Escape || fail "xdotool could not press Escape"
e2e_expect_exit "after Escape went down"
xdotool keyup Escape
e2e_expect_console_lines
# A clean run prints nothing on stderr, no library's own lines either (libdecor's, on Wayland); Wine has its own.
e2e_under_wine || [ ! -s "$e2e_dir/stderr" ] || fail "expected nothing on stderr, got: $(head -c 300 "$e2e_dir/stderr")"

# Right, Z, up+left, down in the order held; otherwise idle, or one of up and left while the pair goes down or up.
inputs=$(grep -v ' fps ' "$e2e_dir/stdout")
want="0 1 0 0,0 0 32768 0,-1 -1 0 0,1 0 0 0,"
{ e2e_under_wine || e2e_on_wayland; } && want=${want%1 0 0 0,}
held=$(echo "$inputs" | grep -xF -e '0 1 0 0' -e '0 0 32768 0' -e '-1 -1 0 0' -e '1 0 0 0' | uniq | tr '\n' ,)
[ "$held" = "$want" ] || fail "expected right, then Z, then up+left, then down, got the runs $held"
odd=$(echo "$inputs" | grep -vxF -e '0 0 0 0' -e '0 1 0 0' -e '0 0 32768 0' -e '-1 -1 0 0' -e '-1 0 0 0' -e '0 -1 0 0' -e '1 0 0 0')
[ -z "$odd" ] || fail "expected only the held keys' input lines, also got: $(echo "$odd" | sort -u | tr '\n' ,)"
[ "$(echo "$inputs" | tail -n 1)" = "0 0 0 0" ] || fail "expected all zero once every key was released"

# Five points of the player's outline (radius 32, from (20, 3), 4 pixels a frame) clear of the title; a body
# could light one by chance, not all.
frames=$(grep -cxF '0 1 0 0' "$e2e_dir/stdout")
x=$((20 + 4 * frames))
[ "$x" -lt 980 ] || fail "the player ran off the window ($frames frames held); cannot look for it"
lit() {
  convert "$e2e_dir/after-right.png" -crop "3x3+$(($1 - 1))+$(($2 - 1))" +repage -fx 'g > 0.12 && g > r' \
    -format '%[fx:maxima]' info:
}
for point in "$((x - 32)) 764" "$((x - 22)) 742" "$x 732" "$((x + 22)) 742" "$((x + 32)) 764"; do
  [ "${point#* }" = 742 ] || [ "${point#* }" = 732 ] || [ "${point% *}" -gt 180 ] || continue
  [ "$(lit $point)" = 1 ] || fail "expected the player's outline through ($point) after $frames frames of right, found none"
done
e2e_log "player outline found around x = $x after $frames frames"
