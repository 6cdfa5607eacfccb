#!/usr/bin/env bash
# Installs the Debian packages that are missing.
# Usage: scripts/install-deps.sh [--run] [--windows] [--windows-check]
#   (nothing)   what the whole build needs: the program, its tools, the tests (with Wine and the
#               x86_64 mingw-w64 compiler), the benchmarks and the packages;
#   --run       only what building and running the program needs, and Xvfb when there is no display;
#   --windows   adds the i686 mingw-w64 cross compiler;
#   --windows-check  also debootstrap, which makes the i386 root the i686 exe runs in (tests/wine/i686-check.sh).
set -euo pipefail

# The program alone: the compiler and build tools, and the libraries the layer is built on.
packages=(
  cmake make g++ pkg-config
  libsdl2-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri libegl-mesa0
  libfreetype-dev libfontconfig-dev fonts-dejavu-core libx11-dev libxcb1-dev libxi-dev libwayland-dev
)
everything=(
  libpng-dev libgtest-dev libbenchmark-dev libcairo2-dev
  wayland-protocols libxrandr-dev  # the pacing tool's display timing
  libxtst-dev libxkbcommon-dev     # its key events: XTEST presses, the Wayland keymap
  xvfb xauth xdotool x11-utils imagemagick mesa-utils  # mesa-utils: glxinfo, the renderer the pacing test expects
  weston  # the Wayland tests' compositor (ctest -L wayland), on its x11 backend inside Xvfb
  wine wine64 g++-mingw-w64-x86-64 googletest
  dpkg-dev  # dpkg-shlibdeps: the Debian package's library dependencies (make package)
  help2man  # the tools' manual pages, made from their --help and --version
  lintian  # Debian's package checker, run on the .deb by scripts/check-packages.sh
)
case "${1:-}" in
  --run)
    # scripts/run-program.sh starts a virtual display when there is no real one.
    [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || packages+=(xvfb xauth)
    ;;
  --windows) packages+=("${everything[@]}" g++-mingw-w64-i686) ;;
  --windows-check) packages+=("${everything[@]}" g++-mingw-w64-i686 debootstrap) ;;
  "") packages+=("${everything[@]}") ;;
  *) echo "usage: scripts/install-deps.sh [--run | --windows | --windows-check]" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Missing packages (${missing[*]}) and no root to install them" >&2; exit 1; }
  sudo=sudo
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
