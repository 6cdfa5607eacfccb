#!/usr/bin/env bash
# The window as the X server sees it: titled "Brimvalk Test.", a 1024x768 client area where a
# centred Windows frame (4 px sizing border, 19 px caption) puts it.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@" xdotool xwininfo
e2e_start_xvfb
e2e_start_program
e2e_wait_for_window
info=$(xwininfo -id "$e2e_window") || fail "xwininfo could not describe window $e2e_window"
field() { echo "$info" | sed -n "s/^ *$1: *//p"; }
title=$(echo "$info" | sed -n 's/^xwininfo: Window id: [^ ]* "\(.*\)"$/\1/p')
got="'$title' $(field Width)x$(field Height) at $(field 'Absolute upper-left X'),$(field 'Absolute upper-left Y')"
want="'$E2E_TITLE' 1024x768 at $(((${E2E_SCREEN%x*} - 1032) / 2 + 4)),$(((${E2E_SCREEN#*x} - 795) / 2 + 23))"
[ "$got" = "$want" ] || fail "expected the window $want, got $got"
e2e_log "$got"
