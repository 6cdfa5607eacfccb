#!/usr/bin/env bash
# With no display at all the window cannot be created: the program says so on stdout, exactly
# "ERROR : Can't Create Window" without a line break, and ends at once with a failure status
# instead of hanging or quietly running on SDL's offscreen driver.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@"

env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER \
  timeout 20 "$e2e_program" >"$e2e_dir/stdout" 2>"$e2e_dir/stderr"
e2e_status=$?
[ "$e2e_status" != 124 ] || fail "expected the program to give up at once without a display, got no end within 20 s"
[ "$e2e_status" != 0 ] || fail "expected a non-zero exit status without a display, got 0"
[ "$e2e_status" -lt 128 ] || fail "expected a normal exit without a display, got status $e2e_status (a signal)"

expected="ERROR : Can't Create Window"
actual=$(od -An -c "$e2e_dir/stdout" | tr -s ' \n' ' ')
cmp -s "$e2e_dir/stdout" <(printf '%s' "$expected") ||
  fail "expected stdout to be exactly '$expected' with no line break, got the bytes:$actual"
e2e_log "status $e2e_status, stdout '$expected', stderr: $(head -c 300 "$e2e_dir/stderr" | tr '\n' ' ')"
