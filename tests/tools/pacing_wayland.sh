#!/usr/bin/env bash
# brimvalk-pacing on weston (E2E_WAYLAND_ENV): the one pacing script, which takes the display from it.
exec "$(dirname "$0")/pacing.sh" "$@"
