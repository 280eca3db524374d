#!/usr/bin/env bash
# Builds the desktop image (scripts/image-build.sh), starts a desktop from it and checks it from
# outside, as an agent reaches it: healthy by its own health check, the three tools over HTTP
# with a token from a mounted file, a command typed into its xterm, refused without the token;
# then its memory (PSS) and CPU measured idle and during observations. In a container when podman
# can run one here; otherwise, saying why, under chroot in the image's own root filesystem with
# the same entry point and the same checks.
#
#   scripts/image-check.sh [BUILD]      (as root; BUILD defaults to build)
#
# QUORVEL_IMAGE_CHECK=chroot checks under chroot even where containers run.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
image=localhost/quorvel-desktop:latest
export QUORVEL_IMAGE=$image

for tool in podman buildah runc; do
    command -v "$tool" >/dev/null || apt-get install -y podman buildah runc >/dev/null
done
bash scripts/image-build.sh "$build"

work=$(mktemp -d -t quorvel-image-check.XXXXXX)
name=quorvel-desktop-check-$$
root=""
ctr=""
mode=""
run_flags=()
pids_of_desktop=""
head -c 32 /dev/urandom | od -An -tx1 | tr -d ' \n' >"$work/token"
port=$(node -e 'const s = require("net").createServer().listen(0, "127.0.0.1", () => { console.log(s.address().port); s.close(); })')

cleanup() {
    if [ -n "$root" ]; then
        stop_chroot_desktop
        umount -R "$root/dev" 2>/dev/null || true
        umount "$root/proc" 2>/dev/null || true
        buildah unmount "$ctr" >/dev/null 2>&1 || true
        buildah rm "$ctr" >/dev/null 2>&1 || true
    fi
    if [ "$mode" = container ]; then
        podman "${run_flags[@]:0:4}" stop -t 15 "$name" >/dev/null 2>&1 || true
        podman "${run_flags[@]:0:4}" rm -f "$name" >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# This machine's container runtime may need these: crun cannot set limits above the hard ones
# without CAP_SYS_RESOURCE, nor run with cgroups in hybrid mode; runc with cgroupfs can.
workaround=(--runtime runc --cgroup-manager cgroupfs --ulimit nofile=1024:1024 --ulimit nproc=1024:1024)
if [ "${QUORVEL_IMAGE_CHECK:-}" = chroot ]; then
    mode=chroot
    echo "the image's root is checked under chroot, as QUORVEL_IMAGE_CHECK asks"
elif podman run --rm --entrypoint /bin/true "$image" >"$work/run.log" 2>&1; then
    mode=container
elif podman "${workaround[@]:0:4}" run --rm "${workaround[@]:4}" --entrypoint /bin/true "$image" \
    >>"$work/run.log" 2>&1; then
    mode=container
    run_flags=("${workaround[@]}")
    echo "podman run needed: ${workaround[*]} (without: $(grep -m 1 'Error' "$work/run.log"))"
else
    mode=chroot
    echo "containers cannot run here; the image's root is checked under chroot instead. podman said:"
    sed 's/^/    /' "$work/run.log"
fi

# Every process of the desktop, by host pid.
desktop_pids() {
    if [ "$mode" = container ]; then
        podman top "$name" hpid | tail -n +2
    else
        local proc
        for proc in /proc/[0-9]*; do
            [ "$(readlink "$proc/root" 2>/dev/null)" = "$root" ] && echo "${proc#/proc/}"
        done
        true
    fi
}

stop_chroot_desktop() {
    local pid
    [ -z "$pids_of_desktop" ] || kill -TERM "$pids_of_desktop" 2>/dev/null || true
    for _ in $(seq 100); do
        [ -z "$(desktop_pids)" ] && return
        sleep 0.1
    done
    for pid in $(desktop_pids); do kill -KILL "$pid" 2>/dev/null || true; done
}

in_desktop() {
    if [ "$mode" = container ]; then
        podman exec "$name" "$@"
    else
        chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin QUORVEL_MCP_PORT="$port" "$@"
    fi
}

if [ "$mode" = container ]; then
    podman "${run_flags[@]:0:4}" run -d --name "$name" "${run_flags[@]:4}" -p "127.0.0.1:$port:8765" \
        -v "$work/token:/run/secrets/quorvel-token:ro" "$image" >/dev/null
    health() { podman "${run_flags[@]:0:4}" healthcheck run "$name" >/dev/null 2>&1; }
else
    ctr=$(buildah from "$image")
    root=$(buildah mount "$ctr")
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mkdir -p "$root/run/secrets"
    cp "$work/token" "$root/run/secrets/quorvel-token"
    # The image's entry point and default command, on the host's network: loopback only.
    setsid chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
        QUORVEL_MCP_HOST=127.0.0.1 QUORVEL_MCP_PORT="$port" \
        /usr/bin/tini -s -- /usr/lib/quorvel-desktop/entrypoint.sh "xterm -ut" >"$work/desktop.log" 2>&1 &
    pids_of_desktop=$!
    health() { in_desktop /usr/lib/quorvel-desktop/healthcheck.sh >/dev/null 2>&1; }
fi

started=$SECONDS
until health; do
    if [ $((SECONDS - started)) -gt 90 ]; then
        echo "the desktop did not become healthy in 90 s:" >&2
        in_desktop /usr/lib/quorvel-desktop/healthcheck.sh >&2 || true
        [ "$mode" = container ] && podman logs "$name" >&2 || cat "$work/desktop.log" >&2
        exit 1
    fi
    sleep 1
done
echo "$mode: healthy $((SECONDS - started)) s after the start"

url=http://127.0.0.1:$port/mcp
status=$(node -e 'fetch(process.argv[1], {method: "POST", body: "{}"}).then((r) => console.log(r.status))' "$url")
[ "$status" = 401 ] || { echo "a request without the token got $status, not 401" >&2; exit 1; }
node mcp/dist/test/httpProbe.js "$url" "$work/token" act
proof=$(in_desktop cat /tmp/quorvel-probe)
[ "$proof" = acted-over-http ] || { echo "the typed command left '$proof'" >&2; exit 1; }
echo "observed and acted on over HTTP from outside; the token was required"

# Memory and CPU of the whole desktop (X server, buses, window manager, xterm, the MCP server and
# the drivers it runs, counted in their parent once they end).
pss_kib() {
    local total=0 pid value
    for pid in $(desktop_pids); do
        value=$(awk '/^Pss:/ {print $2}' "/proc/$pid/smaps_rollup" 2>/dev/null || true)
        total=$((total + ${value:-0}))
    done
    echo "$total"
}
cpu_ticks() {
    local total=0 pid value
    for pid in $(desktop_pids); do
        value=$(sed 's/^.*) //' "/proc/$pid/stat" 2>/dev/null | awk '{print $12 + $13 + $14 + $15}' || true)
        total=$((total + ${value:-0}))
    done
    echo "$total"
}
hz=$(getconf CLK_TCK)
idle_seconds=10
before=$(cpu_ticks)
sleep "$idle_seconds"
after=$(cpu_ticks)
idle_pss=$(pss_kib)
echo "idle: $((idle_pss / 1024)) MiB PSS, CPU $(((after - before) * 1000 / (idle_seconds * hz))) per mille of a core"

observations=20
peak=0
(while :; do pss_kib >>"$work/pss"; sleep 0.2; done) &
sampler=$!
before=$(cpu_ticks)
begun=$(date +%s%N)
node mcp/dist/test/httpProbe.js "$url" "$work/token" repeat "$observations" >"$work/repeat.json"
ended=$(date +%s%N)
after=$(cpu_ticks)
kill "$sampler"
wait "$sampler" 2>/dev/null || true
peak=$(sort -n "$work/pss" | tail -n 1)
wall_ms=$(((ended - begun) / 1000000))
echo "observations: $(cat "$work/repeat.json")"
echo "during $((observations + 1)) observations and a screenshot in $wall_ms ms: peak $((peak / 1024)) MiB PSS," \
    "CPU $(((after - before) * 1000 * 1000 / (hz * wall_ms))) per mille of a core," \
    "$(((after - before) * 1000 / hz / (observations + 1))) ms of CPU per observation"
echo "image check passed ($mode)"
