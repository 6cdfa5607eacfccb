#!/usr/bin/env bash
# i686-check.sh BUILD [CHECK...]: the shipped 32-bit exe (BUILD/brimvalk-test.exe) and the Win32 conformance suite
# built for i686 (BUILD/conformance/tests/conformance/win32_conformance.exe) under 32-bit Wine, in an i386 root run
# through qemu-user (scripts/i386-root.sh, in BUILD/i386). CHECK: conformance, geometry, input, close (default:
# all), each an end-to-end script with scripts/wine-launch.sh and wine32.sh as its launcher, on an Xvfb of its own,
# in a fresh copy of the booted prefix.
# Needs root (binfmt_misc, mounts, chroot). The emulator draws about one frame a second: the scripts wait on what
# the program shows, with every deadline E2E_SLOWDOWN times longer; nothing here judges the frame rate.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=$(realpath -m "${1:?usage: i686-check.sh BUILD [conformance|geometry|input|close ...]}")
shift
checks=("$@")
[ ${#checks[@]} -gt 0 ] || checks=(conformance geometry input close)

[ "$(id -u)" = 0 ] || { echo "i686-check: needs root (binfmt_misc, mounts and chroot for the i386 root)" >&2; exit 1; }
# Everything mounted here lives in a mount namespace of this script's own: it goes when the script does, killed or not.
if [ -z "${I686_CHECK_NAMESPACE:-}" ]; then
  exec unshare --mount --propagation private env I686_CHECK_NAMESPACE=1 "$0" "$build" "${checks[@]}"
fi

exe=$build/brimvalk-test.exe conformance=$build/conformance/tests/conformance/win32_conformance.exe
desktop=$build/conformance/wine-desktop.exe
[ -f "$desktop" ] || { echo "i686-check: no $desktop (make windows-check builds it)" >&2; exit 1; }
for check in "${checks[@]}"; do
  case $check in
    conformance) [ -f "$conformance" ] || { echo "i686-check: no $conformance (make windows-check builds it)" >&2; exit 1; } ;;
    geometry | input | close) [ -f "$exe" ] || { echo "i686-check: no $exe (make windows)" >&2; exit 1; } ;;
    *) echo "i686-check: unknown check '$check' (conformance, geometry, input, close)" >&2; exit 2 ;;
  esac
done

dir=$build/i386
mkdir -p "$dir"
# One check at a time on a root: the emulator's registration and the prefixes are shared.
exec 9>"$dir/lock"
flock -n 9 || { echo "i686-check: waiting for another check on $dir" >&2; flock 9; }

. "$repo/scripts/i386-root.sh"
# A signal ends the running script first (it cleans up after itself), then this one.
child='' stopped=''
trap root_leave EXIT
trap 'stopped=1; [ -z "$child" ] || kill -TERM "$child" 2>/dev/null; [ -n "$child" ] || exit 130' INT TERM
started=$SECONDS
root_prepare "$dir"
log() { echo "[i686-check] $*" >&2; }
log "root ready in $((SECONDS - started)) s"

# The close box's message, sent from the host like the other X tools.
cc -O2 -o "$dir/wm_delete" "$repo/tests/e2e/wm_delete.c" -lX11 || { echo "i686-check: cannot build wm_delete" >&2; exit 1; }
export WINE32_ROOT=$I386_ROOT E2E_LAUNCHER=$repo/scripts/wine-launch.sh WINE_RUN=$here/wine32.sh WINESERVER=$here/wineserver32.sh
export WINE_DESKTOP=$desktop E2E_WM_DELETE=$dir/wm_delete
export E2E_SLOWDOWN=${E2E_SLOWDOWN:-4} LP_NUM_THREADS=0
rm -rf "$I386_ROOT"/tmp/program.* "$I386_ROOT"/root/prefix-*
failed=()
for check in "${checks[@]}"; do
  prefix=/root/prefix-$check
  cp -a "$I386_ROOT/root/prefix" "$I386_ROOT$prefix"
  if [ "$check" = conformance ]; then command=("$repo/tests/conformance/run.sh" "$conformance")
  else command=("$repo/tests/e2e/$check.sh" "$exe"); fi
  began=$SECONDS
  WINEPREFIX=$prefix "${command[@]}" &
  child=$!
  until wait "$child"; status=$?; ! kill -0 "$child" 2>/dev/null; do :; done
  child=''
  [ -z "$stopped" ] || exit 130
  if [ "$status" = 0 ]; then result=passed; else result=FAILED; failed+=("$check"); fi
  rm -rf "${I386_ROOT:?}$prefix" "$I386_ROOT"/tmp/program.*
  log "$check: $result in $((SECONDS - began)) s"
done
log "all in $((SECONDS - started)) s"
[ ${#failed[@]} -eq 0 ] || { echo "i686-check: failed: ${failed[*]}" >&2; exit 1; }
