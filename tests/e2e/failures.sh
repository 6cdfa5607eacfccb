#!/usr/bin/env bash
# Each way start-up fails (no display, no OpenGL driver, too few descriptors or too little memory) ends in its
# ERROR line, a reason on stderr and status 1. The X server killed mid-run: faults.sh (x_killed).
. "$(dirname "$0")/lib.sh"
e2e_setup "$@" prlimit
e2e_start_xvfb
mkdir -m 700 "$e2e_dir/runtime" || fail "cannot make a runtime directory"
err="$e2e_dir/stderr"

# LAUNCH (before the program);STDOUT (an ERE);LINE BREAKS;CHECK ON STDERR. The window's error has no line break.
# Only the standard streams stay open: descriptors the test runner passes on would count against --nofile.
# No limits on a sanitized build, whose run-time needs more than the program does.
while IFS=';' read -r launch line breaks check; do
  [[ $launch == prlimit* && -n ${ASAN_OPTIONS:-} ]] && continue
  (
    for fd in $(ls "/proc/$BASHPID/fd"); do [ "$fd" -gt 2 ] && eval "exec $fd>&-"; done
    eval "exec timeout 20 $launch \"\$e2e_program\""
  ) >"$e2e_dir/stdout" 2>"$err"
  status=$?
  [ "$status" = 1 ] || fail "$launch: expected status 1, got $status (124: still running after 20 s, >128: a signal)"
  [[ $(cat "$e2e_dir/stdout") =~ ^($line)$ ]] && [ "$(wc -l <"$e2e_dir/stdout")" = "$breaks" ] ||
    fail "$launch: expected '$line' and $breaks line breaks on stdout, got:$(od -An -c "$e2e_dir/stdout" | tr -s ' \n' ' ')"
  eval "$check" && ! grep -q 'X Error of failed request' "$err" ||
    fail "$launch: expected $check, and not Xlib's error dump, got: $(head -c 300 "$err")"
  e2e_log "$launch: $(cat "$err")"
done <<'CASES'
env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER;ERROR : Can't Create Window;0;grep -q 'DISPLAY and WAYLAND_DISPLAY are unset' "$err"
env -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER DISPLAY=:987;ERROR : Can't Create Window;0;grep -qF 'X display ":987" (DISPLAY):' "$err" && ! grep -q unset "$err"
env -u WAYLAND_DISPLAY XDG_RUNTIME_DIR=$e2e_dir/runtime DISPLAY=:99 SDL_VIDEODRIVER=wayland;ERROR : Can't Create Window;0;grep -q WAYLAND_DISPLAY "$err" && ! grep -q :99 "$err"
env LIBGL_DRIVERS_PATH=/nonexistent;ERROR : Can't (Set Pixel Format|Create OpenGL Context|Activate OpenGL Context);1;grep -q 'X error Bad' "$err"
env GALLIUM_DRIVER=nonexistent;ERROR : Can't (Set Pixel Format|Create OpenGL Context|Activate OpenGL Context);1;grep -q 'X error Bad' "$err"
env LIBGL_ALWAYS_INDIRECT=1;ERROR : Can't (Set Pixel Format|Create OpenGL Context|Activate OpenGL Context);1;grep -q 'X error Bad' "$err"
prlimit --nofile=4 --;ERROR : Can't Create Window;0;grep -q 'Too many open files' "$err"
prlimit --as=104857600 --;ERROR : Can't Set Pixel Format;1;grep -q 'Cannot allocate memory' "$err"
CASES

