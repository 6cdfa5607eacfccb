#!/usr/bin/env bash
# brimvalk-pacing's input line on weston (E2E_WAYLAND_ENV): the one input script, which takes the display from it.
exec "$(dirname "$0")/pacing_input.sh" "$@"
