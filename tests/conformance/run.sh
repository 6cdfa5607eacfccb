#!/usr/bin/env bash
# run.sh path/to/win32_conformance[.exe] [GoogleTest options]: under its own Xvfb, through E2E_LAUNCHER when set.
. "$(dirname "$0")/../e2e/lib.sh"
suite=${1:-}
e2e_setup "$suite"
shift
e2e_start_xvfb
${E2E_LAUNCHER:-} "$suite" "$@"
