#!/usr/bin/env bash
# Runs the program on this machine's display, or in a virtual one (Xvfb) when there is none,
# so that its console output is still seen. Ctrl+C reaches only the program, which then closes
# its window and exits cleanly; the virtual display is stopped afterwards.
set -u
program=${1:?usage: run-program.sh path/to/brimvalk-test}

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}${SDL_VIDEODRIVER:-}" ]; then
  exec "$program"
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/brimvalk-run.XXXXXX") || exit 1
. "$(dirname "$0")/xvfb.sh"
xvfb_pid=''
trap '[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null; rm -rf "$scratch"' EXIT
xvfb_start "$scratch" setsid || exit 1
echo "No display found: running in a virtual display (Xvfb $DISPLAY). Press Ctrl+C to stop." >&2
"$program"
