#!/usr/bin/env bash
# Without a display the program prints exactly "ERROR : Can't Create Window", no line break, and
# ends at once with a failure status instead of hanging or running on SDL's offscreen driver.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@"
env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout 20 "$e2e_program" >"$e2e_dir/stdout" 2>"$e2e_dir/stderr"
status=$?
[ "$status" != 0 ] && [ "$status" -lt 124 ] ||
  fail "expected a failure status at once without a display, got $status (124: still running after 20 s, >128: a signal)"
cmp -s "$e2e_dir/stdout" <(printf '%s' "ERROR : Can't Create Window") ||
  fail "expected stdout to be exactly 'ERROR : Can't Create Window', got the bytes:$(od -An -c "$e2e_dir/stdout" | tr -s ' \n' ' ')"
