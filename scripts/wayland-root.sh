#!/usr/bin/env bash
# A Debian 13 (trixie) root with a headless KWin 6, libei, the build dependencies and a GTK 4 and a
# Qt 6 application, made with debootstrap from the Debian archive that this machine's apt uses.
# The project is built inside it (a build made on Debian 12 links libraries trixie lacks) and the
# Wayland tests (CTest label wayland) run there, each on a headless KWin of its own.
#
#   scripts/wayland-root.sh             makes or updates the root, builds, runs the Wayland tests
#   scripts/wayland-root.sh root        makes or updates the root only
#   scripts/wayland-root.sh shell       a shell inside the root, the checkout at /quorvel
#   scripts/wayland-root.sh run CMD...  one command inside the root, the checkout at /quorvel
#
# As root. The root is kept between runs in QUORVEL_WAYLAND_ROOT (default /var/tmp/quorvel-trixie),
# outside the checkout; a stamp there records the package list it was made with, and a root made
# with another list is brought up to it. Every mount is made in a mount namespace of this script's
# own and taken down on every way out, and it stops only the processes it started.
set -euo pipefail
cd "$(dirname "$0")/.."
checkout=$PWD

root=${QUORVEL_WAYLAND_ROOT:-/var/tmp/quorvel-trixie}
# The build folder of the Wayland tests, inside the root.
build=/build/wayland-tests

packages=(
  # The desktop: KWin headless (kwin-common holds the EIS plugin), the buses, software GL.
  kwin-wayland kwin-common dbus dbus-daemon dbus-bin libglib2.0-bin at-spi2-core
  libgl1-mesa-dri libegl-mesa0 fonts-dejavu-core procps xkb-data
  # The Wayland platform's libraries: libei to KWin's EIS, the Wayland client, xkbcommon.
  libei-dev libwayland-dev libwayland-bin wayland-protocols libxkbcommon-dev
  # KWin's window-management protocol, which tells the driver the active window.
  plasma-wayland-protocols
  # The build and the tests, as scripts/install-deps.sh has them for Debian 12.
  cmake g++ make pkg-config libicu-dev nlohmann-json3-dev libdbus-1-dev libpng-dev
  libxcb1-dev libxcb-xtest0-dev libxcb-res0-dev libxcb-randr0-dev libxcb-xkb-dev
  libxkbcommon-x11-dev googletest libgtest-dev libgmock-dev python3-jsonschema
  # The applications of the tests: GTK 4 and Qt 6 (with its Wayland plugin) from Python, GTK 4's
  # widget factory, a KWin script's report read over D-Bus, the clipboard read back, and weston,
  # a compositor without KWin's services.
  gtk-4-examples python3-gi gir1.2-gtk-4.0 python3-pyqt6 qt6-wayland wl-clipboard weston
  # The benchmark's view of when the driver spoke to KWin (bench/wayland-input.py).
  strace
)
stamp=$root/.quorvel-packages
log=$root.log

die() {
  echo "wayland-root.sh: $*" >&2
  exit 1
}

# The first Debian archive apt is given, in either format of its sources.
debian_mirror() {
  local mirror
  mirror=$(sed -n 's/^URIs:[[:space:]]*\([^[:space:]]*\).*/\1/p' /etc/apt/sources.list.d/*.sources \
    2>/dev/null | grep -v security | head -n 1 || true)
  if [ -z "$mirror" ] && [ -f /etc/apt/sources.list ]; then
    mirror=$(awk '$1 == "deb" && $2 !~ /security/ {print $2; exit}' /etc/apt/sources.list)
  fi
  [ -n "$mirror" ] || die "no Debian archive among apt's sources"
  echo "$mirror"
}

package_hash() { printf '%s\n' "${packages[@]}" | sort | sha256sum | cut -d' ' -f1; }

# --- Inside the mount namespace -------------------------------------------------------------

mounted=()
unmount_all() {
  local index
  for ((index = ${#mounted[@]} - 1; index >= 0; index--)); do
    umount -R "${mounted[index]}" 2>/dev/null || umount -l "${mounted[index]}" 2>/dev/null || true
  done
  mounted=()
}

# Mounts at $1 what the rest of the arguments say, recorded for the unmount.
attach() {
  local target=$1
  shift
  mount "$@" "$target"
  mounted+=("$target")
}

mount_root() {
  trap unmount_all EXIT
  trap 'exit 130' INT TERM
  mkdir -p "$root/quorvel" "$root/build" "$root/dev/shm"
  attach "$root/proc" -t proc proc
  attach "$root/sys" --rbind /sys
  mount --make-rslave "$root/sys"
  attach "$root/dev" --bind /dev
  attach "$root/dev/pts" --bind /dev/pts
  attach "$root/dev/shm" -t tmpfs -o mode=1777 shm
  attach "$root/run" -t tmpfs -o mode=755 run
  attach "$root/quorvel" --bind "$checkout"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
}

in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

# What apt and the build say goes to a log, shown when they fail.
quietly() {
  "$@" >>"$log" 2>&1 || {
    tail -n 30 "$log" >&2
    die "failed: $*"
  }
}

install_packages() {
  quietly in_root env DEBIAN_FRONTEND=noninteractive apt-get update
  quietly in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    "${packages[@]}"
  # KWin finds a client's desktop file through its menu index, which needs a menu.
  mkdir -p "$root/etc/xdg/menus"
  cat >"$root/etc/xdg/menus/applications.menu" <<'EOF'
<!DOCTYPE Menu PUBLIC "-//freedesktop//DTD Menu 1.0//EN" "http://www.freedesktop.org/standards/menu-spec/1.0/menu.dtd">
<Menu><Name>Applications</Name><DefaultAppDirs/><DefaultDirectoryDirs/><Include><All/></Include></Menu>
EOF
  quietly in_root apt-get clean
}

build_and_test() {
  echo "wayland-root.sh: building in the root's $build"
  : >"$log"
  quietly in_root cmake -S /quorvel -B "$build" -DCMAKE_BUILD_TYPE=Release
  # Only what the Wayland tests need: the driver, the Wayland platform's unit tests and the
  # end-to-end tests (the rest is built and tested on Debian 12 by scripts/test.sh).
  local targets=(quorvel-computer) target known
  known=$(in_root cmake --build "$build" --target help)
  for target in quorvel_wayland_tests quorvel_wayland_e2e_tests; do
    grep -qx "\.\.\. $target" <<<"$known" && targets+=("$target")
  done
  quietly in_root cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
  # KWin grants its window-management protocol to an executable that an installed desktop entry
  # names, as the package's entry names the installed driver; the menu index is made afresh.
  mkdir -p "$root/usr/share/applications"
  sed "s|@QUORVEL_EXECUTABLE@|$build/quorvel-computer|" "$checkout/packaging/quorvel-computer.desktop.in" \
    >"$root/usr/share/applications/quorvel-computer-tests.desktop"
  quietly in_root kbuildsycoca6 --noincremental
  # No test of the label is a failure, not a pass.
  in_root ctest --test-dir "$build" -L wayland --output-on-failure --no-tests=error
}

inside() {
  mount_root
  local what=$1
  shift
  case "$what" in
    update) install_packages && package_hash >"$stamp" ;;
    test) build_and_test ;;
    shell) in_root bash -l || true ;;
    run) in_root "$@" ;;
  esac
}

# --- Outside ---------------------------------------------------------------------------------

# Runs one step of this script in a private mount namespace: what it mounts is nobody else's and
# goes with it, however it ends.
namespaced() {
  unshare --mount --propagation private bash "$checkout/scripts/wayland-root.sh" --inside "$@"
}

make_root() {
  command -v debootstrap >/dev/null || {
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
      debootstrap >/dev/null
  }
  exec 8>"$root.lock"
  flock 8
  if [ ! -d "$root" ]; then
    local partial=$root.partial mirror
    mirror=$(debian_mirror)
    rm -rf "$partial"
    : >"$log"
    echo "wayland-root.sh: debootstrap trixie into $root from $mirror"
    quietly debootstrap --variant=minbase trixie "$partial" "$mirror"
    # Services are not started inside the root.
    printf '#!/bin/sh\nexit 101\n' >"$partial/usr/sbin/policy-rc.d"
    chmod +x "$partial/usr/sbin/policy-rc.d"
    mv "$partial" "$root"
  fi
  if [ "$(cat "$stamp" 2>/dev/null)" != "$(package_hash)" ]; then
    echo "wayland-root.sh: installing the packages into $root"
    : >"$log"
    namespaced update
  fi
  flock -u 8
}

enter_hint() {
  echo "wayland-root.sh: the root is $root; enter it with: bash scripts/wayland-root.sh shell"
}

[ "$(id -u)" = 0 ] || die "run as root (debootstrap, chroot and mounts need it)"
case "${1:-}" in
  --inside) shift; inside "$@" ;;
  root) make_root; enter_hint ;;
  shell) make_root; namespaced shell ;;
  run) shift; make_root; namespaced run "$@" ;;
  "") make_root; enter_hint; namespaced test ;;
  *) die "usage: wayland-root.sh [root | shell | run COMMAND...]" ;;
esac
