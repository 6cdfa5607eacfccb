#!/usr/bin/env bash
# wineserver32.sh [OPTIONS]: Wine's server in the i386 root WINE32_ROOT, for WINEPREFIX there (WINESERVER for the
# 32-bit checks: -k ends the session).
: "${WINE32_ROOT:?WINE32_ROOT is not set: run this through tests/wine/i686-check.sh}" "${WINEPREFIX:?}"
exec chroot "$WINE32_ROOT" /usr/bin/env -i PATH=/usr/bin:/bin HOME=/root WINEPREFIX="$WINEPREFIX" /usr/lib/wine/wineserver32 "$@"
