#!/usr/bin/env bash
# Holding the right arrow moves the player's outline (radius 32, seeded at (20, 3)) 4 pixels a
# frame to the right, where a screenshot taken after the key is released shows it.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@" xdotool import convert
e2e_start_xvfb
e2e_start_program
e2e_wait_for_frames
e2e_focus_window
xdotool keydown Right && sleep 1.5 && xdotool keyup Right && sleep 0.5 || fail "xdotool could not hold Right"
import -silent -window "$e2e_window" "$e2e_dir/after.png" || fail "could not capture the window"
xdotool key Escape || fail "xdotool could not press Escape"
e2e_expect_exit "after Escape"

frames=$(grep -cxF '0 1 0 0' "$e2e_dir/stdout")
[ "$frames" -ge 10 ] || fail "expected right held for at least 10 frames, got $frames"
x=$((20 + 4 * frames))
[ "$x" -lt 980 ] || fail "the player ran off the window ($frames frames held); cannot look for it"
# Five points of the outline, 31.4 to 32 pixels from its centre (767 - 3 = 764 from the window's
# top): left, upper left, top, upper right, right. A body could light one of them by chance, not all.
lit() {
  convert "$e2e_dir/after.png" -crop "7x7+$(($1 - 3))+$(($2 - 3))" +repage -fx 'g > 0.12 && g > r' \
    -format '%[fx:maxima]' info:
}
for point in "$((x - 32)) 764" "$((x - 22)) 742" "$x 732" "$((x + 22)) 742" "$((x + 32)) 764"; do
  [ "$(lit $point)" = 1 ] || fail "expected the player's outline through ($point) after $frames frames of right, found none"
done
e2e_log "player outline found around x = $x after $frames frames"
