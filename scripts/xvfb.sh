# The one way the scripts start a virtual X display (sourced by the end-to-end tests, the weston
# fixture, the X11 benchmark and `make run`).
# xvfb_start DIR [setsid]: Xvfb picks a free display number itself and writes it to DIR/display
# (-displayfd), so runs side by side never race for one; its log goes to DIR/xvfb.log. With
# `setsid` it runs in a session of its own (Ctrl+C in the terminal does not reach it; it outlives a
# CTest fixture's script). Sets xvfb_pid and exports DISPLAY; returns 1, with the reason on stderr,
# when no display came within 10 s. XVFB_SCREEN sets the screen (default 1280x1024).
xvfb_start() {
  local dir=$1 session=${2:-}
  $session Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1280x1024}x24" -br -nolisten tcp \
    3>"$dir/display" </dev/null >"$dir/xvfb.log" 2>&1 &
  xvfb_pid=$!
  local _
  for _ in $(seq 100); do
    grep -qx '[0-9][0-9]*' "$dir/display" 2>/dev/null && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if ! grep -qx '[0-9][0-9]*' "$dir/display" 2>/dev/null; then
    echo "Xvfb gave no display within 10 s: $(tail -n 3 "$dir/xvfb.log" 2>/dev/null)" >&2
    return 1
  fi
  export DISPLAY=":$(cat "$dir/display")"
}
