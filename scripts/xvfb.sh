# The one way the scripts start a virtual X display (sourced by the end-to-end tests, the weston
# fixture, the X11 benchmark and `make run`).
# xvfb_start DIR [setsid]: Xvfb picks a free display number itself and writes it to DIR/display
# (-displayfd), so runs side by side never race for one; its log goes to DIR/xvfb.log. With
# `setsid` it runs in a session of its own (Ctrl+C in the terminal does not reach it; it outlives a
# CTest fixture's script). Sets xvfb_pid and exports DISPLAY; returns 1, with the reason on stderr,
# when no display came within 10 s. XVFB_SCREEN sets the screen (default 1280x1024); XVFB_OPTIONS
# adds options (e.g. `-auth FILE`, to admit only clients with its cookie). -noreset: an X server
# otherwise resets each time its last client leaves, and drops the connections that come meanwhile
# (one program started right after another ended would find no display).
xvfb_start() {
  local dir=$1 session=${2:-} attempt _
  # An Xvfb that ends before giving a display (seen once among many started side by side) is tried again once.
  for attempt in 1 2; do
    # Gone first: the shell truncates it only once Xvfb's process is under way, and a number left from an earlier
    # run in DIR would be read meanwhile.
    rm -f "$dir/display"
    # shellcheck disable=SC2086 # XVFB_OPTIONS is a list of options
    $session Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1280x1024}x24" -br -nolisten tcp -noreset ${XVFB_OPTIONS:-} \
      3>"$dir/display" </dev/null >"$dir/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
      grep -qx '[0-9][0-9]*' "$dir/display" 2>/dev/null && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    grep -qx '[0-9][0-9]*' "$dir/display" 2>/dev/null && break
    kill -0 "$xvfb_pid" 2>/dev/null && break
    wait "$xvfb_pid" 2>/dev/null
    echo "Xvfb ended at start with status $? (attempt $attempt): $(tail -n 3 "$dir/xvfb.log" 2>/dev/null)" >&2
  done
  if ! grep -qx '[0-9][0-9]*' "$dir/display" 2>/dev/null; then
    echo "Xvfb gave no display within 10 s: $(tail -n 3 "$dir/xvfb.log" 2>/dev/null)" >&2
    return 1
  fi
  export DISPLAY=":$(cat "$dir/display")"
}
