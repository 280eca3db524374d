#!/usr/bin/env bash
# Builds the desktop image from container/Containerfile without any registry: a Debian 12 root made
# with debootstrap from the archive this machine's apt uses, the virtual desktop's packages and
# Node.js installed into it with apt, the project's Debian package (cpack in BUILD) installed the
# same way, the MCP server with its production packages from npm, and container/'s entry point and
# health check. buildah makes the image from that root.
#
#   scripts/image-build.sh [BUILD]              the image localhost/quorvel-desktop:latest
#   scripts/image-build.sh --root DIR [BUILD]   only its root filesystem, made in DIR (new or empty)
#
# As root; BUILD defaults to build. QUORVEL_IMAGE names another tag.
set -euo pipefail
cd "$(dirname "$0")/.."

root_only=""
if [ "${1:-}" = --root ]; then
    root_only=$2
    shift 2
fi
build=${1:-build}
tag=${QUORVEL_IMAGE:-localhost/quorvel-desktop:latest}

[ -f "$build/CMakeCache.txt" ] || { echo "no build in $build: build the project first" >&2; exit 1; }
command -v debootstrap >/dev/null || apt-get install -y debootstrap >/dev/null
if [ -z "$root_only" ]; then
    command -v buildah >/dev/null || apt-get install -y buildah >/dev/null
fi

# The Debian archive and the security archive apt is given, in either format of its sources.
sources() {
    sed -n 's/^URIs:[[:space:]]*\([^[:space:]]*\).*/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null || true
    [ -f /etc/apt/sources.list ] && awk '$1 == "deb" {print $2}' /etc/apt/sources.list
    true
}
mirror=$(sources | grep -v security | head -n 1 || true)
security=$(sources | grep security | head -n 1 || true)
[ -n "$mirror" ] || { echo "no Debian archive among apt's sources" >&2; exit 1; }

# What the tools say goes to the log, shown when one fails.
log=$(mktemp -t quorvel-image-log.XXXXXX)
work=$(mktemp -d -t quorvel-image.XXXXXX)
root=${root_only:-$work/root}
mkdir -p "$root"
[ -z "$(ls -A "$root")" ] || { echo "$root is not empty" >&2; exit 1; }
cleanup() {
    umount "$root/proc" 2>/dev/null || true
    rm -rf "$work" "$log"
}
trap cleanup EXIT
quietly() { "$@" >>"$log" 2>&1 || { tail -n 20 "$log" >&2; exit 1; }; }

# The project's Debian package, and the MCP server with only what it runs on.
(cd "$build" && quietly cpack)
package=$(ls -t "$build"/quorvel-computer_*.deb | head -n 1)
[ -d mcp/node_modules ] || (cd mcp && quietly npm ci --no-audit --no-fund)
(cd mcp && quietly npm run build)
server=$work/quorvel-mcp
mkdir -p "$server/dist"
cp mcp/package.json mcp/package-lock.json "$server/"
cp -r mcp/dist/src "$server/dist/"
(cd "$server" && quietly npm ci --omit=dev --ignore-scripts --no-audit --no-fund)

quietly debootstrap --variant=minbase bookworm "$root" "$mirror"
{
    echo "deb $mirror bookworm main"
    echo "deb $mirror bookworm-updates main"
    [ -z "$security" ] || echo "deb $security bookworm-security main"
} >"$root/etc/apt/sources.list"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
cp "$package" "$root/tmp/"
in_root() { chroot "$root" env DEBIAN_FRONTEND=noninteractive "$@"; }
quietly in_root apt-get update
# The desktop (X server with its fonts, window manager, buses, the X tools the desktop script
# and the health check use), the default application, an init that reaps, and Node.js.
quietly in_root apt-get install -y --no-install-recommends \
    xvfb xfonts-base openbox at-spi2-core dbus-daemon dbus-bin dbus-session-bus-common x11-utils \
    xterm tini nodejs "/tmp/$(basename "$package")"
quietly in_root apt-get clean
rm -rf "$root/var/lib/apt/lists/"* "$root/tmp/"*.deb
# Each container makes its own machine id when it starts.
rm -f "$root/etc/machine-id" "$root/var/lib/dbus/machine-id"
: >"$root/etc/resolv.conf"

mkdir -p "$root/usr/lib/quorvel-desktop"
cp -r "$server" "$root/usr/lib/quorvel-mcp"
install -m 0755 container/entrypoint.sh container/healthcheck.sh scripts/desktop.sh \
    "$root/usr/lib/quorvel-desktop/"
umount "$root/proc"
echo "root: $(du -sh "$root" | cut -f1), Node.js $(chroot "$root" node --version), $(basename "$package")"

[ -z "$root_only" ] || exit 0
tar -C "$root" --numeric-owner -cf "$work/root.tar" .
cp container/Containerfile "$work/"
quietly buildah bud --format docker -f "$work/Containerfile" -t "$tag" "$work"
echo "image $tag built"
