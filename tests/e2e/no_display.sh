#!/usr/bin/env bash
# No display: the window error at once, not a hang or SDL's offscreen driver; the reason names the variable tried.
. "$(dirname "$0")/lib.sh"
e2e_setup "$@"
mkdir "$e2e_dir/runtime" && chmod 700 "$e2e_dir/runtime" || fail "cannot make a runtime directory"
for setting in "DISPLAY" "WAYLAND_DISPLAY DISPLAY=:99 SDL_VIDEODRIVER=wayland"; do
  read -r variable assignments <<<"$setting"
  env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER XDG_RUNTIME_DIR="$e2e_dir/runtime" $assignments \
    timeout 20 "$e2e_program" >"$e2e_dir/stdout" 2>"$e2e_dir/stderr"
  status=$?
  [ "$status" != 0 ] && [ "$status" -lt 124 ] ||
    fail "${assignments:-no display}: expected a failure status at once, got $status (124: still running after 20 s, >128: a signal)"
  cmp -s "$e2e_dir/stdout" <(printf '%s' "ERROR : Can't Create Window") ||
    fail "${assignments:-no display}: expected stdout to be exactly 'ERROR : Can't Create Window', got the bytes:$(od -An -c "$e2e_dir/stdout" | tr -s ' \n' ' ')"
  grep -q "$variable" "$e2e_dir/stderr" && ! grep -q ':99' "$e2e_dir/stderr" ||
    fail "${assignments:-no display}: expected the reason to name $variable (and no other display), got: $(cat "$e2e_dir/stderr")"
  e2e_log "$(cat "$e2e_dir/stderr")"
done
