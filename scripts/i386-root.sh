# An i386 Debian root in which 32-bit Wine runs through qemu-user's i386 emulator, for a kernel that cannot run
# 32-bit code (sourced by tests/wine/i686-check.sh). Nothing 32-bit goes onto the host: the emulator is unpacked
# from its package into the build tree, and registered with binfmt_misc only while a check runs.
#
# root_prepare DIR: the emulator in DIR/qemu and the root in DIR/root with a booted Wine prefix (/root/prefix in
#   the root), each made once and kept while its recipe stays (first time ~5 min and ~2 GB, with the network);
#   registers the emulator and mounts proc, dev, dev/pts and the X servers' socket directory into the root, which
#   it names in I386_ROOT. root_leave undoes exactly that, whatever happened in between.
# Call both from one process with a mount namespace of its own (unshare --mount), so that nothing mounted can
# outlive it even when it is killed.

# The Debian release the root is made from, what goes into it, and qemu-user's source: qemu 7.2 (bookworm's own)
# costs about a minute of CPU for every Wine process start, 10.x a few seconds.
readonly I386_SUITE=bookworm I386_QEMU_SUITE=bookworm-backports I386_QEMU_MAJOR=10
readonly I386_PACKAGES='wine wine32 libgl1 libglx-mesa0 libgl1-mesa-dri'
readonly I386_BINFMT=brimvalk-i386
readonly I386_WINE_ENV='WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml='
i386_registered='' i386_mounts=()

i386_log() { echo "[i386-root] $*" >&2; }
i386_die() { echo "i386-root: $*" >&2; exit 1; }

# The Debian archive this machine's apt sources name for the suite (never a host name of our own).
i386_mirror() {
  local uri
  uri=$(apt-get indextargets --format '$(REPO_URI)' "Release: $I386_SUITE" 'Origin: Debian' 'Identifier: Packages' |
    head -n 1)
  [ -n "$uri" ] || i386_die "no Debian $I386_SUITE archive in this machine's apt sources (apt-get update first?)"
  echo "${uri%/}"
}

# qemu-i386 from the backports suite, fetched through a private sources list and lists directory and unpacked
# (static, so the root needs no copy of it): the host's own packages stay as they are.
i386_fetch_qemu() {
  local dir=$1/qemu mirror version
  [ -x "$dir/usr/bin/qemu-i386" ] && return
  mirror=$(i386_mirror)
  rm -rf "$dir" && mkdir -p "$dir/apt/lists/partial" "$dir/apt/cache/archives/partial" || i386_die "cannot make $dir"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $I386_QEMU_SUITE main" \
    >"$dir/apt/sources.list"
  local apt=(-q -o "Dir::Etc::SourceList=$dir/apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent
    -o "Dir::State::Lists=$dir/apt/lists" -o "Dir::Cache=$dir/apt/cache" -o Dir::State::status=/dev/null
    -o APT::Sandbox::User=root)
  i386_log "fetching qemu-user from $I386_QEMU_SUITE"
  apt-get "${apt[@]}" update >"$dir/apt.log" 2>&1 || i386_die "apt-get update of $I386_QEMU_SUITE failed: $(tail -n 3 "$dir/apt.log")"
  version=$(apt-cache "${apt[@]}" show qemu-user 2>/dev/null | sed -n 's/^Version: [0-9]*://p' | sort -V | tail -n 1)
  [ "${version%%.*}" -ge "$I386_QEMU_MAJOR" ] 2>/dev/null ||
    i386_die "qemu-user $I386_QEMU_MAJOR or later is needed from $I386_QEMU_SUITE, found '${version:-none}'"
  (cd "$dir" && apt-get "${apt[@]}" download qemu-user) >>"$dir/apt.log" 2>&1 ||
    i386_die "could not download qemu-user: $(tail -n 3 "$dir/apt.log")"
  dpkg-deb -x "$dir"/qemu-user_*.deb "$dir/unpacked" || i386_die "could not unpack qemu-user"
  mkdir -p "$dir/usr/bin" "$dir/binfmt"
  mv "$dir/unpacked/usr/share/qemu/binfmt.d/qemu-i386.conf" "$dir/binfmt/" &&
    mv "$dir/unpacked/usr/bin/qemu-i386" "$dir/usr/bin/" || i386_die "no qemu-i386 in the qemu-user package"
  rm -rf "$dir/unpacked" "$dir"/qemu-user_*.deb "$dir/apt"
  "$dir/usr/bin/qemu-i386" --version | head -n 1 >&2
}

# The i386 ELF magic and mask as qemu's own binfmt file gives them, with F: the kernel opens the emulator now,
# so it runs inside the root without a copy there.
i386_register() {
  local dir=$1/qemu conf
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null ||
      i386_die "binfmt_misc cannot be mounted on /proc/sys/fs/binfmt_misc (needs root and the kernel's binfmt_misc)"
  fi
  # Left by a check that was killed: the lock in i686-check.sh says it is no longer in use.
  [ -e "/proc/sys/fs/binfmt_misc/$I386_BINFMT" ] && echo -1 >"/proc/sys/fs/binfmt_misc/$I386_BINFMT"
  conf=$(cat "$dir/binfmt/qemu-i386.conf") || i386_die "no binfmt file beside the emulator in $dir"
  IFS=: read -r _ _ type offset magic mask _ <<<"$conf"
  echo ":$I386_BINFMT:$type:$offset:$magic:$mask:$dir/usr/bin/qemu-i386:F" >/proc/sys/fs/binfmt_misc/register ||
    i386_die "could not register the i386 emulator with binfmt_misc"
  i386_registered=1
}

i386_mount() {
  local target=$2/${3#/}
  mkdir -p "$target" && mount "${@:4}" "$1" "$target" || i386_die "could not mount $1 on $target"
  i386_mounts=("$target" "${i386_mounts[@]}")
}

i386_chroot() { chroot "$I386_ROOT" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

# The root from nothing: debootstrap's first stage on the host, its second and apt inside, through the emulator.
i386_make_root() {
  local dir=$1 mirror
  mirror=$(i386_mirror)
  # --one-file-system: a mount left inside by some other hand is not followed.
  rm -rf --one-file-system "$I386_ROOT"
  i386_log "debootstrap $I386_SUITE i386 (first stage) from $mirror"
  debootstrap --arch=i386 --foreign --variant=minbase "$I386_SUITE" "$I386_ROOT" "$mirror" >"$dir/debootstrap.log" 2>&1 ||
    i386_die "debootstrap's first stage failed: $(tail -n 3 "$dir/debootstrap.log")"
  i386_log "debootstrap (second stage, emulated)"
  # It mounts and unmounts proc itself: ours come after it.
  i386_chroot /debootstrap/debootstrap --second-stage >>"$dir/debootstrap.log" 2>&1 ||
    i386_die "debootstrap's second stage failed: $(tail -n 3 "$I386_ROOT/debootstrap/debootstrap.log" 2>/dev/null)"
  i386_enter_mounts
  cp /etc/resolv.conf "$I386_ROOT/etc/resolv.conf" 2>/dev/null
  i386_log "apt-get install $I386_PACKAGES (emulated)"
  # shellcheck disable=SC2086  # the package list is words
  { i386_chroot apt-get -q -o APT::Sandbox::User=root update &&
    i386_chroot DEBIAN_FRONTEND=noninteractive apt-get -q -y -o APT::Sandbox::User=root install --no-install-recommends \
      $I386_PACKAGES && i386_chroot apt-get clean; } >"$dir/apt.log" 2>&1 ||
    i386_die "installing Wine in the root failed: $(tail -n 3 "$dir/apt.log")"
  i386_log "booting the Wine prefix (emulated)"
  # shellcheck disable=SC2086
  i386_chroot $I386_WINE_ENV WINEPREFIX=/root/prefix timeout 600 wine wineboot -i >"$dir/wineboot.log" 2>&1 &&
    i386_chroot WINEPREFIX=/root/prefix timeout 300 wineserver -w ||
    i386_die "wineboot failed in the root: $(tail -n 3 "$dir/wineboot.log")"
  [ -f "$I386_ROOT/root/prefix/system.reg" ] || i386_die "no registry in the root's prefix after wineboot"
}

i386_enter_mounts() {
  [ ${#i386_mounts[@]} -eq 0 ] || return 0
  i386_mount proc "$I386_ROOT" /proc -t proc
  i386_mount /dev "$I386_ROOT" /dev --bind
  i386_mount /dev/pts "$I386_ROOT" /dev/pts --bind
  # The host's X servers (Xvfb started by the checks) reached through their sockets.
  [ -d /tmp/.X11-unix ] || install -d -m 1777 /tmp/.X11-unix
  i386_mount /tmp/.X11-unix "$I386_ROOT" /tmp/.X11-unix --bind
}

root_prepare() {
  local dir=$1 recipe
  I386_ROOT=$dir/root
  i386_fetch_qemu "$dir"
  i386_register "$dir"
  recipe="$I386_SUITE i386 minbase; $I386_PACKAGES; prefix booted with $I386_WINE_ENV"
  if [ "$(cat "$dir/root.made" 2>/dev/null)" != "$recipe" ]; then
    rm -f "$dir/root.made"
    i386_make_root "$dir"
    echo "$recipe" >"$dir/root.made"
  fi
  i386_enter_mounts
}

# Every step is tried, whatever the one before did (the caller's set -e is off here).
root_leave() {
  set +e
  local target prefix
  if [ -n "${I386_ROOT:-}" ] && [ -n "$i386_registered" ] && [ ${#i386_mounts[@]} -gt 0 ]; then
    for prefix in "$I386_ROOT"/root/prefix*/; do
      [ -d "$prefix" ] && i386_chroot WINEPREFIX="${prefix#"$I386_ROOT"}" timeout 60 wineserver -k 2>/dev/null
    done
  fi
  for target in "${i386_mounts[@]}"; do umount -l "$target" || echo "i386-root: could not unmount $target" >&2; done
  i386_mounts=()
  if [ -n "$i386_registered" ]; then
    # binfmt_misc may have been unmounted here meanwhile (seen once, around debootstrap): the entry stays.
    [ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    echo -1 >"/proc/sys/fs/binfmt_misc/$I386_BINFMT" || echo "i386-root: could not remove the binfmt entry" >&2
    i386_registered=''
  fi
}
