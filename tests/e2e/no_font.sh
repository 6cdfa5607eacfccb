#!/usr/bin/env bash
# With no outline font (an empty fontconfig configuration) the program runs on without its title.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@" xdotool import
e2e_start_xvfb
printf '<?xml version="1.0"?>\n<fontconfig></fontconfig>\n' >"$e2e_dir/fonts.conf"
export FONTCONFIG_FILE="$e2e_dir/fonts.conf"
e2e_start_program
e2e_wait_for_frames
e2e_escape "after Escape"
[ "$(wc -l <"$e2e_dir/stderr")" = 1 ] && grep -q '"sans-serif"' "$e2e_dir/stderr" ||
  fail "expected one line on stderr naming \"sans-serif\", got: $(head -c 300 "$e2e_dir/stderr")"
e2e_log "$(cat "$e2e_dir/stderr")"
