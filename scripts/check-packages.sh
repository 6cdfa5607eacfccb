#!/usr/bin/env bash
# Checks what `make package` put in DIR (default dist/), the way a user meets it:
#   - the Debian package: its name, version and architecture, and that it depends on the package
#     of every library its binaries link; installed with apt, the program found on PATH runs
#     under Xvfb until Escape ends it with 0 (the end-to-end Escape script), the snapshot tool
#     writes a PNG; then it is removed and nothing of it is left on PATH;
#   - the Windows zip: the program and the README at its top, the program a 32-bit (PE32) console
#     program that imports only Windows' own DLLs.
# Needs root (or sudo) for apt. Usage: scripts/check-packages.sh [DIR]
set -u -o pipefail
cd "$(dirname "$0")/.."
dist=${1:-dist}
package=brimvalk-test
version=$(sed -n 's/^project(BrimvalkTest VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "[check-packages] $*"; }
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
apt_get() { DEBIAN_FRONTEND=noninteractive $sudo apt-get -y -q -o DPkg::Lock::Timeout=300 "$@"; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/brimvalk-packages.XXXXXX") || fail "cannot make a scratch directory"
installed_here=''
cleanup() {
  [ -n "$installed_here" ] && apt_get purge "$package" >/dev/null 2>&1
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- Debian package ---
debs=("$dist"/${package}_*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "expected one $dist/${package}_*.deb, got: ${debs[*]}"
deb=$(realpath "${debs[0]}")
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "${package}_${version}_${arch}.deb" ] ||
  fail "expected the file name ${package}_${version}_${arch}.deb, got $(basename "$deb")"
for field in Package:$package Version:$version Architecture:$arch; do
  [ "$(dpkg-deb -f "$deb" "${field%%:*}")" = "${field#*:}" ] ||
    fail "expected ${field%%:*} '${field#*:}', got '$(dpkg-deb -f "$deb" "${field%%:*}")'"
done

# Every Depends alternative, one package name a line.
dpkg-deb -f "$deb" Depends | tr ',|' '\n\n' | sed 's/([^)]*)//; s/:.*//; s/[[:space:]]//g' | grep . >"$scratch/depends"
step "Depends: $(tr '\n' ' ' <"$scratch/depends")"
# Libraries the binaries link, resolved on this machine and traced to their packages; libGL
# (loaded by SDL for the GL context) and the title's font are opened at run time.
dpkg-deb -x "$deb" "$scratch/root"
binaries=("$scratch"/root/usr/bin/*)
[ ${#binaries[@]} = 3 ] || fail "expected brimvalk-test, brimvalk-pacing and brimvalk-snapshot in /usr/bin, got: ${binaries[*]##*/}"
needed=$(objdump -p "${binaries[@]}" | awk '$1 == "NEEDED" { print $2 }' | sort -u)
[ -n "$needed" ] || fail "found no linked libraries in ${binaries[*]##*/}"
owners=("libgl1" "fonts-dejavu-core")
for library in $needed; do
  path=$(ldd "${binaries[@]}" | awk -v lib="$library" '$1 == lib && $2 == "=>" { print $3; exit }')
  [ -n "$path" ] || fail "cannot find $library, linked by the packaged binaries"
  owner=$(dpkg -S "$(realpath "$path")" 2>/dev/null | head -n 1 | cut -d: -f1)
  [ -n "$owner" ] || owner=$(dpkg -S "$path" 2>/dev/null | head -n 1 | cut -d: -f1)
  [ -n "$owner" ] || fail "no installed package owns $path ($library)"
  owners+=("$owner")
done
for owner in "${owners[@]}"; do
  grep -qxF "$owner" "$scratch/depends" || fail "the package does not depend on $owner"
done
step "the Debian package depends on every package its binaries need: $(printf '%s\n' "${owners[@]}" | sort -u | tr '\n' ' ')"

# Installed with apt, as the README says; the program is then the one on PATH.
apt_get install --reinstall "$deb" >"$scratch/apt.log" 2>&1 || { tail -n 20 "$scratch/apt.log" >&2; fail "apt could not install $deb"; }
installed_here=yes
program=$(command -v brimvalk-test) || fail "brimvalk-test is not on PATH after installing"
[ "$program" = /usr/bin/brimvalk-test ] || fail "expected brimvalk-test on PATH as /usr/bin/brimvalk-test, got $program"
[ "$(dpkg -S "$program" 2>/dev/null | cut -d: -f1)" = "$package" ] || fail "$program does not belong to $package"
[ -s /usr/share/doc/$package/README.md ] && [ -s /usr/share/doc/$package/docs/screenshot.png ] ||
  fail "expected the README and its screenshot in /usr/share/doc/$package"
tests/e2e/input.sh "$program" || fail "the installed brimvalk-test did not take held keys and end with 0 on Escape under Xvfb"
step "installed $program ran under Xvfb and ended with 0 on Escape"
snapshot=$(command -v brimvalk-snapshot) || fail "brimvalk-snapshot is not on PATH after installing"
(cd "$scratch" && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy timeout 60 "$snapshot" --frames 3 --out shot.png >snapshot.log 2>&1) ||
  fail "the installed $snapshot failed"
[ "$(head -c 8 "$scratch/shot.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
  fail "the installed brimvalk-snapshot wrote no PNG"
step "installed $snapshot wrote a PNG"
pacing=$(command -v brimvalk-pacing) || fail "brimvalk-pacing is not on PATH after installing"
(cd "$scratch" && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy timeout 60 "$pacing" --seconds 0.5 --png pacing.png >pacing.log 2>&1) &&
  grep -q '^first frame [0-9.]* ms (start-up), then: frames [1-9]' "$scratch/pacing.log" && [ -s "$scratch/pacing.png" ] || fail "the installed $pacing failed: $(cat "$scratch/pacing.log")"
step "installed $pacing reported and plotted a run"

apt_get purge "$package" >"$scratch/apt.log" 2>&1 || { tail -n 20 "$scratch/apt.log" >&2; fail "apt could not remove $package"; }
installed_here=''
hash -r
! command -v brimvalk-test >/dev/null && ! command -v brimvalk-snapshot >/dev/null && ! command -v brimvalk-pacing >/dev/null ||
  fail "the program is still on PATH after removing $package"
[ ! -e /usr/share/doc/$package ] || fail "/usr/share/doc/$package is left after removing $package"
step "removed $package"

# --- Windows zip ---
zips=("$dist"/${package}-*-win32.zip)
[ ${#zips[@]} = 1 ] && [ -f "${zips[0]}" ] || fail "expected one $dist/${package}-*-win32.zip, got: ${zips[*]}"
zip=$(realpath "${zips[0]}")
top=$(basename "$zip" .zip)
[ "$top" = "${package}-${version}-win32" ] || fail "expected the zip ${package}-${version}-win32.zip, got $top.zip"
mkdir "$scratch/zip" && (cd "$scratch/zip" && cmake -E tar xf "$zip") || fail "cannot unpack $zip"
exe="$scratch/zip/$top/brimvalk-test.exe"
[ -f "$exe" ] && [ -s "$scratch/zip/$top/README.md" ] ||
  fail "expected $top/brimvalk-test.exe and $top/README.md in the zip, got: $(cd "$scratch/zip" && find . -type f | tr '\n' ' ')"
headers=$(i686-w64-mingw32-objdump -p "$exe" 2>&1) ||
  fail "brimvalk-test.exe is not a 32-bit Windows program: i686-w64-mingw32-objdump says $(tail -n 1 <<<"$headers")"
grep -Eq '^Magic[[:space:]]+010b' <<<"$headers" || fail "brimvalk-test.exe is not a 32-bit (PE32) program: $(grep '^Magic' <<<"$headers")"
grep -Eq '^Subsystem[[:space:]]+0+3[[:space:]]' <<<"$headers" ||
  fail "brimvalk-test.exe is not a console program: $(grep '^Subsystem' <<<"$headers")"
imports=$(awk '/DLL Name:/ { print tolower($3) }' <<<"$headers" | sort -u | tr '\n' ' ')
for dll in $imports; do
  case $dll in
    gdi32.dll | glu32.dll | kernel32.dll | msvcrt.dll | opengl32.dll | user32.dll | winmm.dll) ;;
    *) fail "brimvalk-test.exe needs $dll, which Windows does not have: the zip would not run on its own" ;;
  esac
done
step "the zip holds a 32-bit console brimvalk-test.exe importing only ${imports% } and the README"
echo "Packages in $dist checked"
