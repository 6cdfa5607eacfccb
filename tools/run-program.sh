#!/usr/bin/env bash
# Runs the program on this machine's display, or in a virtual one (Xvfb) when there is none,
# so that its console output is still seen. Ctrl+C reaches only the program, which then closes
# its window and exits cleanly; the virtual display is stopped afterwards.
set -u
program=${1:?usage: run-program.sh path/to/brimvalk-test}

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}${SDL_VIDEODRIVER:-}" ]; then
  exec "$program"
fi

for n in $(seq 90 130); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
done
echo "No display found: running in a virtual display (Xvfb :$n). Press Ctrl+C to stop." >&2
setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null' EXIT
for _ in $(seq 1 50); do
  [ -e "/tmp/.X11-unix/X$n" ] && break
  sleep 0.1
done
DISPLAY=":$n" "$program"
