#!/usr/bin/env bash
# Without stdout and stderr, descriptors 1 and 2 must be /dev/null, not the X connection; without an outline font
# (an empty fontconfig configuration) the program runs on without its title and says so once.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@" xdotool import
e2e_start_xvfb
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 stdbuf -oL "$e2e_program" >&- 2>&- &
e2e_pid=$!
e2e_wait_for_window
for descriptor in 1 2; do
  target=$(readlink "/proc/$e2e_pid/fd/$descriptor")
  [ "$target" = /dev/null ] || fail "expected descriptor $descriptor on /dev/null, got '$target'"
done
e2e_wait_for_new_frames 3 "with stdout and stderr closed"
e2e_escape "Escape after 3 frames shown with stdout and stderr closed"

printf '<?xml version="1.0"?>\n<fontconfig></fontconfig>\n' >"$e2e_dir/fonts.conf"
FONTCONFIG_FILE="$e2e_dir/fonts.conf" e2e_start_program
e2e_wait_for_frames
e2e_escape "Escape with no outline font"
[ "$(wc -l <"$e2e_dir/stderr")" = 1 ] && grep -q '"sans-serif"' "$e2e_dir/stderr" ||
  fail "expected one line on stderr naming \"sans-serif\", got: $(head -c 300 "$e2e_dir/stderr")"
e2e_log "$(cat "$e2e_dir/stderr")"
