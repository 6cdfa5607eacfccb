#!/usr/bin/env bash
# A driver that cannot be loaded, or indirect GLX (ssh -X), ends in one ERROR line, not Xlib's error dump.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@"
e2e_start_xvfb
for setting in LIBGL_DRIVERS_PATH=/nonexistent GALLIUM_DRIVER=nonexistent LIBGL_ALWAYS_INDIRECT=1; do
  env "$setting" timeout 20 "$e2e_program" >"$e2e_dir/stdout" 2>"$e2e_dir/stderr"
  status=$?
  [ "$status" = 1 ] || fail "$setting: expected exit status 1, got $status (124: still running after 20 s)"
  [ "$(wc -l <"$e2e_dir/stdout")" = 1 ] &&
    grep -qxE "ERROR : Can't (Set Pixel Format|Create OpenGL Context|Activate OpenGL Context)" "$e2e_dir/stdout" ||
    fail "$setting: expected one ERROR line for the OpenGL set-up on stdout, got: $(head -c 200 "$e2e_dir/stdout")"
  grep -q 'X error Bad' "$e2e_dir/stderr" || fail "$setting: expected the X error on stderr"
  ! grep -q 'X Error of failed request' "$e2e_dir/stderr" || fail "$setting: Xlib's error dump on stderr"
  e2e_log "$setting: $(cat "$e2e_dir/stdout")"
done
