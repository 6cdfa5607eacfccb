# Shared helpers of the end-to-end scripts: a private Xvfb, the program under test with its
# stdout in a file, waits with deadlines, and clean-up that runs however the script ends.
# A script sources this file, calls e2e_setup "$@" and then uses the functions below.
set -u -o pipefail

readonly E2E_TITLE='Brimvalk Test.'
readonly E2E_SCREEN_WIDTH=1280
readonly E2E_SCREEN_HEIGHT=1024

e2e_program=''
e2e_dir=''
e2e_xvfb_pid=''
e2e_program_pid=''
e2e_status=''
e2e_window=''

e2e_log() {
  echo "[$(basename "$0" .sh)] $*" >&2
}

# Ends the script as failed, with the reason and what the program printed.
fail() {
  echo "FAIL: $*" >&2
  if [ -n "$e2e_dir" ]; then
    local stream
    for stream in stdout stderr; do
      if [ -s "$e2e_dir/$stream" ]; then
        echo "--- program $stream (last 15 lines) ---" >&2
        tail -n 15 "$e2e_dir/$stream" >&2
        echo >&2
      fi
    done
  fi
  exit 1
}

e2e_cleanup() {
  if [ -n "$e2e_program_pid" ] && kill -0 "$e2e_program_pid" 2>/dev/null; then
    kill -KILL "$e2e_program_pid" 2>/dev/null
    wait "$e2e_program_pid" 2>/dev/null
  fi
  if [ -n "$e2e_xvfb_pid" ]; then
    kill -TERM "$e2e_xvfb_pid" 2>/dev/null
    wait "$e2e_xvfb_pid" 2>/dev/null
  fi
  # Keys held by a failed script die with the server; nothing else outlives it.
  [ -n "$e2e_dir" ] && rm -rf "$e2e_dir"
}

# e2e_setup PROGRAM [TOOL...]: checks the program and the tools, makes a scratch directory and
# arranges the clean-up.
e2e_setup() {
  e2e_program=${1:-}
  shift || true
  [ -n "$e2e_program" ] || fail "usage: $0 path/to/brimvalk-test"
  [ -x "$e2e_program" ] || fail "program '$e2e_program' is not an executable file"
  local tool
  for tool in timeout "$@"; do
    command -v "$tool" >/dev/null || fail "'$tool' is not installed"
  done
  e2e_dir=$(mktemp -d "${TMPDIR:-/tmp}/brimvalk-e2e.XXXXXX") || fail "cannot make a scratch directory"
  trap e2e_cleanup EXIT
  trap 'exit 130' INT TERM
}

# Starts a private Xvfb on a display number it picks itself (so scripts can run side by side)
# and exports DISPLAY. The root window is black, so nothing shows before the program draws.
e2e_start_xvfb() {
  command -v Xvfb >/dev/null || fail "'Xvfb' is not installed"
  local displayfile="$e2e_dir/display"
  : >"$displayfile"
  Xvfb -displayfd 3 -screen 0 "${E2E_SCREEN_WIDTH}x${E2E_SCREEN_HEIGHT}x24" -br -nolisten tcp \
    3>"$displayfile" >"$e2e_dir/xvfb.log" 2>&1 &
  e2e_xvfb_pid=$!
  local i
  for i in $(seq 1 100); do
    [ -s "$displayfile" ] && grep -q '^[0-9][0-9]*$' "$displayfile" && break
    kill -0 "$e2e_xvfb_pid" 2>/dev/null || fail "Xvfb exited at start: $(tail -n 3 "$e2e_dir/xvfb.log")"
    sleep 0.1
  done
  [ -s "$displayfile" ] || fail "Xvfb did not report a display within 10 s"
  export DISPLAY=":$(head -n 1 "$displayfile")"
  unset WAYLAND_DISPLAY SDL_VIDEODRIVER
  e2e_log "Xvfb on $DISPLAY"
}

# Runs the program in the background with stdout and stderr captured in the scratch directory.
e2e_start_program() {
  e2e_status=''
  e2e_window=''
  : >"$e2e_dir/stdout"
  "$e2e_program" >"$e2e_dir/stdout" 2>"$e2e_dir/stderr" &
  e2e_program_pid=$!
}

e2e_stdout() {
  cat "$e2e_dir/stdout"
}

# Waits until the program's window is mapped and sets e2e_window to its X id.
e2e_wait_for_window() {
  local ids
  ids=$(timeout 20 xdotool search --sync --onlyvisible --name "^${E2E_TITLE//./\\.}\$" 2>/dev/null)
  kill -0 "$e2e_program_pid" 2>/dev/null || fail "the program ended before its window appeared"
  [ -n "$ids" ] || fail "no visible window titled '$E2E_TITLE' within 20 s"
  [ "$(echo "$ids" | wc -l)" -eq 1 ] || fail "expected one window titled '$E2E_TITLE', found: $ids"
  e2e_window=$ids
}

# True once the window shows anything but black, that is once the first frame is on screen.
e2e_window_drawn() {
  local brightest
  brightest=$(import -silent -window "$e2e_window" -format '%[fx:maxima]' info: 2>/dev/null) || return 1
  [ -n "$brightest" ] && [ "$brightest" != 0 ]
}

# Waits until the frame loop runs: the first frame is on screen, or the program's output, which
# stdio holds back in 4 KiB blocks, has reached the file.
e2e_wait_for_frames() {
  [ -n "$e2e_window" ] || e2e_wait_for_window
  local i
  for i in $(seq 1 150); do
    kill -0 "$e2e_program_pid" 2>/dev/null || fail "the program ended before its first frame"
    if [ -s "$e2e_dir/stdout" ] || e2e_window_drawn; then
      return 0
    fi
    sleep 0.2
  done
  fail "no frame within 30 s: the window stayed black and the program printed nothing"
}

e2e_focus_window() {
  timeout 10 xdotool windowfocus --sync "$e2e_window" || fail "could not focus window $e2e_window"
}

# e2e_wait_for_exit SECONDS WHAT: waits for the program to end and sets e2e_status to its exit
# status; WHAT names what should have ended it.
e2e_wait_for_exit() {
  local seconds=$1 what=$2 i
  for i in $(seq 1 $((seconds * 10))); do
    kill -0 "$e2e_program_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$e2e_program_pid" 2>/dev/null && fail "$what: expected the program to end within $seconds s, it was still running"
  wait "$e2e_program_pid"
  e2e_status=$?
  e2e_program_pid=''
}

# e2e_expect_status EXPECTED WHAT: checks the exit status e2e_wait_for_exit saw.
e2e_expect_status() {
  [ "$e2e_status" = "$1" ] || fail "$2: expected exit status $1, got $e2e_status"
}

# e2e_expect_line LINE WHAT: the program printed LINE as a whole line at least once.
e2e_expect_line() {
  grep -qxF -- "$1" "$e2e_dir/stdout" ||
    fail "$2: expected a line '$1' on stdout, got the input lines $(e2e_input_summary)"
}

# The distinct input lines on stdout with their counts, e.g. '0 0 0 0' x120, '0 1 0 0' x40.
e2e_input_summary() {
  grep -v ' fps ' "$e2e_dir/stdout" | sort | uniq -c |
    awk '{ n = $1; $1 = ""; sub(/^ /, ""); printf "%s\047%s\047 x%d", sep, $0, n; sep = ", " } END { if (NR == 0) printf "(none)" }'
}

# Every line on stdout is an input line ("%d %d %d %d") or a frame-rate line ("%.02f fps" and
# twelve spaces), and the output ends with a line break.
e2e_expect_console_lines() {
  local out="$e2e_dir/stdout" odd
  [ -s "$out" ] || fail "expected input lines on stdout, got nothing"
  odd=$(grep -Evn -e '^-?[0-9]+ -?[0-9]+ -?[0-9]+ -?[0-9]+$' -e '^[0-9]+\.[0-9]{2} fps {12}$' "$out" | head -n 3)
  [ -z "$odd" ] || fail "expected only input and frame-rate lines on stdout, got (line:text) $odd"
  [ "$(tail -c 1 "$out" | od -An -c | tr -d ' ')" = '\n' ] || fail "expected stdout to end with a line break"
}

# The WM_DELETE_WINDOW sender (wm_delete.c), built with the tests; CTest passes its path.
e2e_build_wm_delete() {
  [ -x "${E2E_WM_DELETE:-}" ] || fail "E2E_WM_DELETE does not name the built WM_DELETE_WINDOW sender"
  ln -sf "$E2E_WM_DELETE" "$e2e_dir/wm-delete"
}
