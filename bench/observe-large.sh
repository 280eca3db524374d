#!/usr/bin/env bash
# The driver's observation of GTK 3 applications built to be large (tests/e2e/apps/large.py)
# beside a small one (gtk3-widget-factory): time, peak memory and nodes, run after run, and one
# table of the medians at the end, with the pyatspi walk of the same bounds (bench/pyatspi-walk.py)
# for comparison, taken after the driver's runs because on some of these applications the walk
# itself holds the application up for many seconds.
#
#   bench/observe-large.sh [BUILD [RUNS [APP...]]]
#
# BUILD is the build folder (default: build); RUNS defaults to $RUNS, else 9; each APP is a name
# that scripts/launch-app.sh knows (default: gtk3 large-rows large-labels large-text
# large-windows). Every application gets a virtual desktop of its own. Per run:
#   driver   the executable from its start to its exit with an observe-only request, less the
#            0.2 s pause that every observation begins with;
#   rss      the executable's peak resident memory (GNU time's %M);
#   stall    the longest time the application's main loop was held up during the run, as the
#            application records it (large.py only).
# Before the first run the driver observes until the tree has 5 nodes: GTK's bridge answers
# nothing while it registers 20,000 labels, a minute or more after the window shows.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build}
runs=${2:-${RUNS:-9}}
shift $(($# < 2 ? $# : 2))
apps=("$@")
[ ${#apps[@]} -gt 0 ] || apps=(gtk3 large-rows large-labels large-text large-windows)
driver=$build/quorvel-computer
pause_ms=200
settle_timeout=300   # seconds for the application to answer its first observation

[ -x "$driver" ] || { echo "no $driver: build the project first" >&2; exit 1; }
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "RUNS must be a positive number, not '$runs'" >&2; exit 1; }

# Milliseconds less the pause, peak KiB and nodes of one observation.
observe() {
    local start reply elapsed rss
    start=$(date +%s%N)
    reply=$(/usr/bin/time -f %M -o "$work/rss" "$driver" <<<"$request")
    elapsed=$((($(date +%s%N) - start) / 1000))
    rss=$(tail -n 1 "$work/rss")
    python3 -c '
import json, sys
def count(node):
    return 1 + sum(count(child) for child in node.get("children", []))
tree = json.loads(sys.argv[1]).get("accessibility_tree", {})
print("%.1f %d %d" % (int(sys.argv[2]) / 1000 - int(sys.argv[3]), int(sys.argv[4]), count(tree)))' \
        "$reply" "$elapsed" "$pause_ms" "$rss"
}

longest_stall() { sort -n "$stalls" 2>/dev/null | tail -n 1 | grep . || echo 0; }
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
highest() { sort -n | tail -n 1; }

measure() (
    local app=$1 environment
    if ! environment=$(STALL_LOG=$stalls "$root/scripts/desktop.sh" start \
        "'$root/scripts/launch-app.sh' $app"); then
        echo "$app did-not-start" >&3
        return 0
    fi
    eval "$environment"
    # shellcheck disable=SC2064
    trap "'$root/scripts/desktop.sh' stop '$QUORVEL_DESKTOP'" EXIT
    pid=$QUORVEL_APP_PIDS
    request="{\"pid\": $pid, \"actions\": []}"
    local deadline=$((SECONDS + settle_timeout)) ms rss nodes=0
    while [ "$nodes" -lt 5 ]; do
        [ "$SECONDS" -lt "$deadline" ] || { echo "$app never-answered" >&3; return 0; }
        read -r ms rss nodes < <(observe) || nodes=0
    done
    local -a times memory counts held
    echo "$app (pid $pid)"
    echo "run   driver [ms]   rss [KiB]   nodes   stall [ms]"
    for run in $(seq "$runs"); do
        rm -f "$stalls"
        read -r ms rss nodes < <(observe)
        times+=("$ms") memory+=("$rss") counts+=("$nodes") held+=("$(longest_stall)")
        printf '%3d  %12s  %10s  %6s  %11s\n' "$run" "$ms" "$rss" "$nodes" "${held[-1]}"
    done
    local walk
    walk=$(timeout 120 /usr/bin/python3 "$here/pyatspi-walk.py" "$pid" 2>/dev/null || echo "- -")
    echo "$app ok $(printf '%s\n' "${times[@]}" | median) $(printf '%s\n' "${memory[@]}" | highest)" \
        "$(printf '%s\n' "${counts[@]}" | median) $(printf '%s\n' "${held[@]}" | highest) $walk" >&3
)

work=$(mktemp -d -t quorvel-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
results=$work/results
stalls=$work/stalls
touch "$results"
for app in "${apps[@]}"; do
    measure "$app" 3>>"$results" || echo "$app failed" >>"$results"
    echo
done

echo "medians of $runs runs; rss and stall: the highest; pyatspi: one walk after the runs"
printf '%-14s %12s %14s %7s %11s %14s %15s\n' application "driver [ms]" "peak rss [MiB]" nodes \
    "stall [ms]" "pyatspi [ms]" "pyatspi nodes"
while read -r app status ms rss nodes stall walk walk_nodes; do
    if [ "$status" != ok ]; then
        printf '%-14s %s\n' "$app" "${status//-/ }"
        continue
    fi
    printf '%-14s %12s %14s %7s %11s %14s %15s\n' "$app" "$ms" \
        "$(awk -v k="$rss" 'BEGIN {printf "%.1f", k / 1024}')" "$nodes" "$stall" "$walk" "$walk_nodes"
done <"$results"
