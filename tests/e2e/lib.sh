# End-to-end helpers: a private Xvfb, the program's output in files, waits with deadlines, clean-up (E2E_LAUNCHER: Wine).
set -u -o pipefail
readonly E2E_TITLE='Brimvalk Test.' E2E_SCREEN=1280x1024
# Every deadline times E2E_SLOWDOWN (the 32-bit program under emulation draws about one frame a second).
readonly e2e_slowdown=${E2E_SLOWDOWN:-1}
e2e_program='' e2e_dir='' e2e_xvfb_pid='' e2e_pid='' e2e_window='' e2e_weston_window=''

e2e_log() { echo "[$(basename "$0" .sh)] $*" >&2; }

fail() {
  echo "FAIL: $*" >&2
  for stream in stdout stderr; do
    [ -s "$e2e_dir/$stream" ] && { echo "--- program $stream (last 15 lines) ---"; tail -n 15 "$e2e_dir/$stream"; echo; } >&2
  done
  exit 1
}

e2e_cleanup() {
  [ -n "$e2e_pid" ] && kill -KILL "$e2e_pid" 2>/dev/null && wait "$e2e_pid" 2>/dev/null
  [ -n "${WINESERVER:-}" ] && "$WINESERVER" -k 2>/dev/null
  [ -n "$e2e_xvfb_pid" ] && kill -TERM "$e2e_xvfb_pid" 2>/dev/null && wait "$e2e_xvfb_pid" 2>/dev/null
  [ -n "$e2e_dir" ] && rm -rf "$e2e_dir"
}

# e2e_setup PROGRAM [TOOL...]
e2e_setup() {
  e2e_program=${1:-}
  shift || true
  [ -x "$e2e_program" ] || fail "usage: $0 path/to/brimvalk-test (got '$e2e_program')"
  for tool in timeout "$@"; do command -v "$tool" >/dev/null || fail "'$tool' is not installed"; done
  e2e_dir=$(mktemp -d "${TMPDIR:-/tmp}/brimvalk-e2e.XXXXXX") || fail "cannot make a scratch directory"
  trap e2e_cleanup EXIT
  trap 'exit 130' INT TERM
}

. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/xvfb.sh"
e2e_start_xvfb() {
  if e2e_on_wayland; then e2e_join_wayland; return; fi
  XVFB_SCREEN=$E2E_SCREEN xvfb_start "$e2e_dir" || fail "no virtual display"
  e2e_xvfb_pid=$xvfb_pid
  unset WAYLAND_DISPLAY SDL_VIDEODRIVER
}

e2e_under_wine() { [[ ${E2E_LAUNCHER:-} == *wine* ]]; }

# On weston (E2E_WAYLAND_ENV: its `export` lines), e2e_window is weston's X window, which the program's window fills.
e2e_on_wayland() { [ -n "${E2E_WAYLAND_ENV:-}" ]; }

e2e_join_wayland() {
  [ -r "${E2E_WAYLAND_ENV:-}" ] || fail "E2E_WAYLAND_ENV names no readable file: '${E2E_WAYLAND_ENV:-}'"
  . "$E2E_WAYLAND_ENV"
  e2e_weston_window=$(xdotool search --class '^Weston Compositor$' | head -n 1)
  [ -n "$e2e_weston_window" ] || fail "no weston X window on $DISPLAY: is the wayland fixture running?"
}

# "X Y WIDTH HEIGHT" of the program's window in weston's scene graph, or nothing before it is mapped.
e2e_wayland_view() {
  timeout 5 weston-debug scene-graph 2>/dev/null | awk -v pid="PID $e2e_pid," -v title="window '$E2E_TITLE' of" '
    found && /position:/ { split($0, f, /[(),\t ]+/); print f[3], f[4], f[6] - f[3], f[7] - f[4]; exit }
    /role xdg_toplevel/ && index($0, pid) && index($0, title) { found = 1 }'
}

e2e_window_shown() {
  if e2e_on_wayland; then [ -n "$(e2e_wayland_view)" ]; else xwininfo -name "$E2E_TITLE" >/dev/null 2>&1; fi
}

# stdbuf: each line reaches the file as printed; ASan lets libstdbuf be preloaded ahead of its runtime.
e2e_start_program() {
  e2e_window=''
  ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 ${E2E_LAUNCHER:-stdbuf -oL} "$e2e_program" \
    >"$e2e_dir/stdout" 2>"$e2e_dir/stderr" &
  e2e_pid=$!
}

# Sets e2e_window once mapped; a search fails when a window it looks at goes away (SDL's at start-up): ask again.
e2e_wait_for_window() {
  local limit=$((20 * e2e_slowdown))
  local deadline=$((SECONDS + limit))
  e2e_window=''
  until [ -n "$e2e_window" ] || [ "$SECONDS" -ge "$deadline" ]; do
    kill -0 "$e2e_pid" 2>/dev/null || fail "the program ended before its window appeared"
    if e2e_on_wayland; then e2e_window_shown && e2e_window=$e2e_weston_window || sleep 0.1
    else e2e_window=$(xdotool search --onlyvisible --name "^${E2E_TITLE//./\\.}\$" 2>/dev/null) || sleep 0.1; fi
  done
  [ "$(echo "$e2e_window" | grep -c .)" = 1 ] || fail "expected one window titled '$E2E_TITLE' in $limit s, got '$e2e_window'"
}

# Output reached the file, or (where stdio holds it back in 4 KiB blocks: Wine) a frame is on screen, not all black:
# the file looked at every 0.1 s, the screen, which costs a capture, every 0.5 s.
e2e_wait_for_frames() {
  [ -n "$e2e_window" ] || e2e_wait_for_window
  local limit=$((60 * e2e_slowdown)) i=0
  local deadline=$((SECONDS + limit))
  until [ -s "$e2e_dir/stdout" ]; do
    kill -0 "$e2e_pid" 2>/dev/null || fail "the program ended before its first frame"
    [ "$SECONDS" -lt "$deadline" ] || fail "no frame within $limit s: the window stayed black and nothing was printed"
    ((++i % 5)) || { brightest=$(import -silent -window "$e2e_window" -format '%[fx:maxima]' info: 2>/dev/null) &&
      [ -n "$brightest" ] && [ "$brightest" != 0 ] && return; }
    sleep 0.1
  done
}

e2e_focus_window() { timeout $((10 * e2e_slowdown)) xdotool windowfocus --sync "$e2e_window" || fail "could not focus window $e2e_window"; }
e2e_escape() { e2e_focus_window && xdotool key Escape || fail "xdotool could not press Escape"; e2e_expect_exit "$1"; }

# e2e_wait_for_end WHAT SECONDS: e2e_status once the program has ended; still running after SECONDS, it is killed
# and WHAT fails. tail looks every 10 ms whether it still runs, in one process (a loop would fork on a busy machine).
e2e_wait_for_end() {
  timeout "$2" tail --pid="$e2e_pid" -s 0.01 -f /dev/null
  kill -0 "$e2e_pid" 2>/dev/null && { kill -KILL "$e2e_pid"; e2e_pid=''; fail "$1: expected the end within $2 s, it still ran"; }
  wait "$e2e_pid"
  e2e_status=$? e2e_pid=''
}

# e2e_wait_for_connection WHAT: the program has a socket among its descriptors: it waits on the display server now.
e2e_wait_for_connection() {
  for _ in $(seq 1000); do ls -l "/proc/$e2e_pid/fd" 2>/dev/null | grep -q 'socket:' && return; sleep 0.01; done
  fail "$1: the program opened no connection in 10 s"
}

# e2e_expect_exit WHAT [STATUS]: the program ends within 15 s (times the slowdown) with STATUS (0). Under Wine every
# line ends with CR LF (text mode), and the CRs go; elsewhere none does.
e2e_expect_exit() {
  e2e_wait_for_end "$1" $((15 * e2e_slowdown))
  [ "$e2e_status" = "${2:-0}" ] || fail "$1: expected exit status ${2:-0}, got $e2e_status"
  if ! e2e_under_wine; then
    grep -qs $'\r' "$e2e_dir/stdout" && fail "expected lines ending in LF alone, got CRs"
    return 0
  fi
  grep -qv $'\r$' "$e2e_dir/stdout" && fail "expected every line to end with CR LF, got $(grep -cv $'\r$' "$e2e_dir/stdout") without"
  sed -i 's/\r$//' "$e2e_dir/stdout"
}

e2e_expect_line() {
  grep -qxF -- "$1" "$e2e_dir/stdout" ||
    fail "$2: expected a line '$1', got the input lines (count, line): $(grep -v ' fps ' "$e2e_dir/stdout" | sort | uniq -c | tr -s ' \n' ' ')"
}

e2e_expect_console_lines() {
  local out="$e2e_dir/stdout" odd
  [ -s "$out" ] || fail "expected input lines on stdout, got nothing"
  odd=$(grep -Evn -e '^-?[0-9]+ -?[0-9]+ -?[0-9]+ -?[0-9]+$' -e '^[0-9]+\.[0-9]{2} fps {12}$' "$out" | head -n 3)
  [ -z "$odd" ] || fail "expected only input and frame-rate lines on stdout, got (line:text) $odd"
  [ -z "$(tail -c 1 "$out")" ] || fail "expected stdout to end with a line break"
}

e2e_count_lines() { tr -d '\r' <"$e2e_dir/stdout" | grep -cxF -- "$1"; }

# e2e_wait_for_lines COUNT LINE WHAT
e2e_wait_for_lines() {
  local limit=$((90 * e2e_slowdown))
  local deadline=$((SECONDS + limit))
  until [ "$(e2e_count_lines "$2")" -ge "$1" ]; do
    kill -0 "$e2e_pid" 2>/dev/null || fail "$3: the program ended before printing '$2' $1 times"
    [ "$SECONDS" -lt "$deadline" ] || fail "$3: expected '$2' $1 times within $limit s, got $(e2e_count_lines "$2")"
    sleep 0.1
  done
}

# e2e_wait_for_new_frames COUNT WHAT: COUNT captures of the middle, each unlike the last (for Wine's block output).
e2e_wait_for_new_frames() {
  local shown=0 last='' now limit=$((90 * e2e_slowdown))
  local deadline=$((SECONDS + limit))
  while [ "$shown" -lt "$1" ]; do
    kill -0 "$e2e_pid" 2>/dev/null || fail "$2: the program ended after $shown new frames"
    [ "$SECONDS" -lt "$deadline" ] || fail "$2: expected $1 new frames within $limit s, saw $shown"
    now=$(import -silent -window "$e2e_window" -crop 256x192+384+288 -format '%#' info: 2>/dev/null) || continue
    [ -n "$last" ] && [ "$now" != "$last" ] && shown=$((shown + 1))
    last=$now
  done
}
