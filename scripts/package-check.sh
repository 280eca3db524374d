#!/usr/bin/env bash
# Makes the Debian package from a build folder, installs it with apt into a fresh minimal
# Debian 12 root (debootstrap, from the package source that this machine's apt uses) that shares
# nothing with the build, and runs one observe-only request there: the reply must be valid against
# the reply schema. This is how the package's dependencies are known to be complete.
#
#   scripts/package-check.sh [BUILD]      (as root; BUILD defaults to build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

[ -f "$build/CMakeCache.txt" ] || { echo "no build in $build: build the project first" >&2; exit 1; }
command -v debootstrap >/dev/null || apt-get install -y debootstrap >/dev/null

# The first Debian archive apt is given, in either format of its sources.
mirror=$(sed -n 's/^URIs:[[:space:]]*\([^[:space:]]*\).*/\1/p' /etc/apt/sources.list.d/*.sources \
    2>/dev/null | grep -v security | head -n 1 || true)
if [ -z "$mirror" ] && [ -f /etc/apt/sources.list ]; then
    mirror=$(awk '$1 == "deb" && $2 !~ /security/ {print $2; exit}' /etc/apt/sources.list)
fi
[ -n "$mirror" ] || { echo "no Debian archive among apt's sources" >&2; exit 1; }

(cd "$build" && cpack >/dev/null 2>&1)
package=$(ls -t "$build"/quorvel-computer_*.deb | head -n 1)

root=$(mktemp -d -t quorvel-package-root.XXXXXX)
log=$(mktemp -t quorvel-package-log.XXXXXX)
cleanup() {
    umount "$root/proc" 2>/dev/null || true
    rm -rf "$root" "$log"
}
trap cleanup EXIT
# What the tools say goes to the log, shown when one fails.
quietly() { "$@" >>"$log" 2>&1 || { tail -n 20 "$log" >&2; exit 1; }; }

quietly debootstrap --variant=minbase bookworm "$root" "$mirror"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
cp "$package" "$root/tmp/"
quietly chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y \
    --no-install-recommends "/tmp/$(basename "$package")"

reply=$(echo '{"actions": []}' | chroot "$root" /usr/bin/quorvel-computer)
echo "installed package $(basename "$package"), observe-only reply: $reply"
verdict=$(echo "$reply" | /usr/bin/python3 -B tests/schema/check-replies.py schema)
[ "$verdict" = valid ] || { echo "the reply is not valid: $verdict" >&2; exit 1; }
case "$reply" in
    *'"ok":true'*) ;;
    *) echo "the installed driver did not observe" >&2; exit 1 ;;
esac
# The manual page and the reference are where the package says.
for file in /usr/share/man/man1/quorvel-computer.1 /usr/share/doc/quorvel-computer/protocol.md \
    /usr/share/quorvel-computer/schema/reply.schema.json; do
    [ -f "$root$file" ] || { echo "the package installed no $file" >&2; exit 1; }
done
echo "package check passed"
