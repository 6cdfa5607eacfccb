#!/usr/bin/env bash
# failures.sh PROGRAM no_seat|runtime_dir|lost_display: how the program fails on Wayland, each case on a
# compositor of its own: one offering no seat, bad XDG_RUNTIME_DIRs, the compositor killed mid-run (noticed within
# about a second; the line and the reason then: faults.sh weston_killed).
. "$(dirname "$0")/../e2e/lib.sh"
case_name=${2:-}
e2e_setup "${1:-}" weston weston-info
runtime="$e2e_dir/runtime"
mkdir -m 700 "$runtime" || fail "cannot make $runtime"

# expect_refusal WHAT [ENV ARGUMENTS...]: exactly the window error, status 1 and one line on stderr.
expect_refusal() {
  local what=$1
  shift
  env "$@" SDL_VIDEODRIVER=wayland timeout 20 "$e2e_program" >"$e2e_dir/stdout" 2>"$e2e_dir/stderr"
  local status=$?
  [ "$status" = 1 ] || fail "$what: expected status 1, got $status (124: still running after 20 s, >128: a signal)"
  cmp -s "$e2e_dir/stdout" <(printf '%s' "ERROR : Can't Create Window") ||
    fail "$what: expected stdout to be exactly 'ERROR : Can't Create Window', got: $(head -c 200 "$e2e_dir/stdout")"
  [ "$(wc -l <"$e2e_dir/stderr")" = 1 ] || fail "$what: expected the reason alone on stderr, one line, got: $(cat "$e2e_dir/stderr")"
  e2e_log "$what: $(cat "$e2e_dir/stderr")"
}

case $case_name in
no_seat)
  XDG_RUNTIME_DIR=$runtime weston --backend=headless-backend.so --socket=brimvalk-headless --idle-time=0 \
    </dev/null >"$e2e_dir/weston.log" 2>&1 &
  weston_pid=$!
  trap 'kill "$weston_pid" 2>/dev/null; e2e_cleanup' EXIT
  for _ in $(seq 100); do [ -S "$runtime/brimvalk-headless" ] && break; sleep 0.1; done
  [ -S "$runtime/brimvalk-headless" ] || fail "headless weston made no socket in 10 s"
  # The premise, from another client: globals are listed, and none of them is a seat.
  globals=$(XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=brimvalk-headless timeout 10 weston-info 2>/dev/null | grep "interface: ")
  [ -n "$globals" ] && ! grep -q "'wl_seat'" <<<"$globals" ||
    fail "expected a compositor with globals but no wl_seat, weston-info lists: $globals"
  expect_refusal "no seat" XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY=brimvalk-headless
  grep -q 'no keyboard seat' "$e2e_dir/stderr" || fail "expected the reason to say the compositor offers no keyboard seat"
  ;;
runtime_dir)
  touch "$e2e_dir/file"
  long="$e2e_dir/$(printf 'd%.0s' $(seq 100))"
  mkdir -m 700 "$long" || fail "cannot make $long"
  for setting in "-u XDG_RUNTIME_DIR" "XDG_RUNTIME_DIR=$e2e_dir/missing" "XDG_RUNTIME_DIR=$e2e_dir/file" \
    "XDG_RUNTIME_DIR=$long"; do
    expect_refusal "$setting" $setting WAYLAND_DISPLAY=brimvalk-none
    [ "$(grep -o XDG_RUNTIME_DIR "$e2e_dir/stderr" | wc -l)" = 1 ] ||
      fail "$setting: expected the reason to name XDG_RUNTIME_DIR once, got: $(cat "$e2e_dir/stderr")"
  done
  ;;
lost_display)
  compositor="$(dirname "$0")/compositor.sh"
  "$compositor" start "$e2e_dir/compositor" || fail "could not start a compositor of its own"
  trap '"$compositor" stop "$e2e_dir/compositor"; e2e_cleanup' EXIT
  E2E_WAYLAND_ENV="$e2e_dir/compositor/env"
  e2e_start_xvfb
  e2e_start_program
  e2e_wait_for_frames
  # A frame-rate line first, so that the time allowed below knows the program's own pace.
  for _ in $(seq 300); do grep -q ' fps ' "$e2e_dir/stdout" && break; sleep 0.1; done
  weston=$(cat "$e2e_dir/compositor/weston.pid")
  kill -KILL "$weston" || fail "could not kill weston"
  # The clock starts once weston is gone (a zombie or no process): on a busy machine that can take a second.
  while [ -d "/proc/$weston" ] && [ "$(cut -d ' ' -f 3 "/proc/$weston/stat" 2>/dev/null)" != Z ]; do sleep 0.01; done
  killed=$(date +%s%N)
  e2e_wait_for_end "with the compositor gone" 10
  elapsed_ms=$((($(date +%s%N) - killed) / 1000000))
  [ "$e2e_status" = 1 ] || fail "with the compositor gone: expected exit status 1, got $e2e_status"
  # It notices at its next look at the queue: within a second, or three of its frames where it draws fewer
  # (a sanitized build); where more is runnable than there are cores, half as long again times that ratio.
  fps=$(grep ' fps ' "$e2e_dir/stdout" | tail -n 1 | cut -d ' ' -f 1)
  allowed_ms=$(awk -v fps="${fps:-60}" -v load="$(cut -d ' ' -f 1 /proc/loadavg)" -v cores="$(nproc)" 'BEGIN {
    ms = 3000 / fps; if (ms < 1000) ms = 1000; if (load > cores) ms *= 1.5 * load / cores; print int(ms) }')
  [ "$elapsed_ms" -le "$allowed_ms" ] ||
    fail "expected the program to end within $allowed_ms ms (at ${fps:-?} fps, load $(cut -d ' ' -f 1 /proc/loadavg)), it took $elapsed_ms ms"
  e2e_log "ended $elapsed_ms ms after weston was killed: $(cat "$e2e_dir/stderr")"
  ;;
*) fail "usage: $0 PROGRAM no_seat|runtime_dir|lost_display" ;;
esac
