#!/usr/bin/env bash
# The X server killed mid-run (the program and the pacing tool), and start-up short of descriptors or memory.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@" xdotool import prlimit

e2e_start_xvfb
e2e_start_program
e2e_wait_for_frames
kill -KILL "$e2e_xvfb_pid" && wait "$e2e_xvfb_pid" 2>/dev/null
e2e_xvfb_pid=''
e2e_expect_exit "the X server killed" 1
[ "$(tail -n 1 "$e2e_dir/stdout")" = "ERROR : Lost the display" ] ||
  fail "the X server killed: expected the last line 'ERROR : Lost the display', got '$(tail -n 1 "$e2e_dir/stdout")'"
sed -i '$d' "$e2e_dir/stdout"
e2e_expect_console_lines
grep -qF "X connection to $DISPLAY broken" "$e2e_dir/stderr" ||
  fail "the X server killed: expected the reason to name the display $DISPLAY, got: $(cat "$e2e_dir/stderr")"
e2e_log "$(cat "$e2e_dir/stderr")"

if [ -n "${E2E_PACING:-}" ]; then
  e2e_start_xvfb
  mkdir "$e2e_dir/pacing"
  (cd "$e2e_dir/pacing" && exec "$E2E_PACING" --seconds 60 --csv c.csv --png p.png --program-output program) \
    >"$e2e_dir/stdout" 2>"$e2e_dir/stderr" &
  e2e_pid=$!
  e2e_window=''
  e2e_wait_for_window
  kill -KILL "$e2e_xvfb_pid" && wait "$e2e_xvfb_pid" 2>/dev/null
  e2e_xvfb_pid=''
  e2e_expect_exit "brimvalk-pacing with the X server killed" 1
  left=$(cd "$e2e_dir/pacing" && ls -A | grep -vx program)
  [ -z "$left" ] || fail "brimvalk-pacing with the X server killed: expected no file written, got: $left"
  grep -qx "ERROR : Lost the display" "$e2e_dir/pacing/program" ||
    fail "brimvalk-pacing with the X server killed: expected the program's ERROR line"
fi

# Resource limits: not for a sanitized build, whose run-time needs more than the program does.
[ -n "${ASAN_OPTIONS:-}" ] && exit 0
e2e_start_xvfb
while IFS='|' read -r limit line reason; do
  # Only the standard streams open: descriptors the test runner passes on would count against the limit.
  (
    for fd in $(ls "/proc/$BASHPID/fd"); do [ "$fd" -gt 2 ] && eval "exec $fd>&-"; done
    exec prlimit "$limit" -- "$e2e_program"
  ) >"$e2e_dir/stdout" 2>"$e2e_dir/stderr" &
  e2e_pid=$!
  e2e_expect_exit "with $limit" 1
  [ "$(head -n 1 "$e2e_dir/stdout")" = "$line" ] ||
    fail "with $limit: expected '$line', got: $(head -c 200 "$e2e_dir/stdout")"
  grep -qF "$reason" "$e2e_dir/stderr" || fail "with $limit: expected '$reason' on stderr, got: $(cat "$e2e_dir/stderr")"
done <<CASES
--nofile=4|ERROR : Can't Create Window|Too many open files
--as=$((100 << 20))|ERROR : Can't Set Pixel Format|Cannot allocate memory
CASES
