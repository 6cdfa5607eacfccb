#!/usr/bin/env bash
# Runs the conformance suite under its own Xvfb, through E2E_LAUNCHER when set (wine64 for the
# Windows build), with the screen's size from the X server in CONFORMANCE_SCREEN.
# Usage: run.sh path/to/win32_conformance[.exe] [GoogleTest options]
. "$(dirname "$0")/../e2e/lib.sh"
suite=${1:-}
e2e_setup "$suite" xdpyinfo
shift
e2e_start_xvfb
CONFORMANCE_SCREEN=$(xdpyinfo | sed -n 's/^ *dimensions: *\([0-9]*x[0-9]*\) pixels.*/\1/p')
[ -n "$CONFORMANCE_SCREEN" ] || fail "xdpyinfo gave no screen size"
export CONFORMANCE_SCREEN
${E2E_LAUNCHER:-} "$suite" "$@"
