#!/usr/bin/env bash
# compositor.sh start|stop DIR: weston on its x11 backend in a private Xvfb, which gives it a seat; DIR/env
# holds the `export` lines that reach it. --debug lets weston-debug read the scene graph.
set -u -o pipefail
mode=${1:-} dir=${2:-}
[ -n "$dir" ] && { [ "$mode" = start ] || [ "$mode" = stop ]; } || { echo "usage: $0 start|stop DIR" >&2; exit 2; }

stop() {
  local pids=()
  for name in weston xvfb; do [ -s "$dir/$name.pid" ] && pids+=("$(cat "$dir/$name.pid")"); done
  [ ${#pids[@]} = 0 ] && return
  kill -TERM "${pids[@]}" 2>/dev/null
  for _ in $(seq 50); do kill -0 "${pids[@]}" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "${pids[@]}" 2>/dev/null
  rm -f "$dir/weston.pid" "$dir/xvfb.pid"
}
fail() { echo "compositor: $*" >&2; for log in xvfb weston; do [ -s "$dir/$log.log" ] && tail -n 5 "$dir/$log.log" >&2; done; stop; exit 1; }

if [ "$mode" = stop ]; then stop; rm -rf "$dir/runtime"; exit 0; fi

for tool in Xvfb weston weston-debug xdotool; do command -v "$tool" >/dev/null || fail "'$tool' is not installed (scripts/install-deps.sh)"; done
stop
rm -rf "$dir" && mkdir -p "$dir" && mkdir -m 700 "$dir/runtime" || fail "cannot make $dir/runtime"
cat >"$dir/weston.ini" <<'INI'
[core]
idle-time=0
[shell]
panel-position=none
background-color=0xff000000
animation=none
startup-animation=none
close-animation=none
[input-method]
path=
INI

# Both outlive this script: their output goes to files, so CTest does not wait for them.
. "$(dirname "$0")/../../scripts/xvfb.sh"
xvfb_start "$dir" setsid || fail "no virtual display"
echo "$xvfb_pid" >"$dir/xvfb.pid"

socket="brimvalk-$$"
cat >"$dir/env" <<ENV
export DISPLAY=:$(cat "$dir/display")
export WAYLAND_DISPLAY=$socket
export XDG_RUNTIME_DIR=$dir/runtime
export SDL_VIDEODRIVER=wayland
ENV
. "$dir/env"
setsid weston --backend=x11-backend.so --use-pixman --width=1024 --height=768 --socket="$socket" --debug \
  --idle-time=0 --config="$dir/weston.ini" </dev/null >"$dir/weston.log" 2>&1 &
echo $! >"$dir/weston.pid"
# Focused before any client: moved there later, weston would hear it leave and come back and keep no keyboard focus.
for _ in $(seq 100); do
  if timeout 5 weston-debug scene-graph 2>/dev/null | grep -q 'background for output' &&
    window=$(xdotool search --class '^Weston Compositor$'); then
    timeout 10 xdotool windowfocus --sync "$window" || fail "could not focus weston's X window"
    exit 0
  fi
  kill -0 "$(cat "$dir/weston.pid")" 2>/dev/null || fail "weston ended at start"
  sleep 0.1
done
fail "weston did not answer within 10 s"
