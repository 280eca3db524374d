#!/usr/bin/env bash
# Times, on one virtual desktop and the same gtk3-widget-factory window, the driver's observation
# of the application against a pyatspi walk of the same bounds (depth 16, 80 children, 180 nodes,
# the same attributes), run after run, and prints the medians and their ratios.
#
#   bench/observe-vs-pyatspi.sh [BUILD [RUNS]]
#
# BUILD is the build folder (default: build), RUNS defaults to 15. Four times are taken per run:
#   driver    the executable from its start to its exit with an observe-only request for the
#             application, less the 0.2 s pause that every observation begins with;
#   snapshot  the same observation inside one process (bench/ObserveInProcess.cpp), less the
#             pause: what a request spends observing once the process is up;
#   pyatspi   the pyatspi walk from the lookup of the application to the end of the walk, without
#             the start of Python and the import of pyatspi;
#   python    the whole pyatspi process, start and import included.
# One warm-up run of each comes first and is not counted: the application makes its accessible
# objects on the first walk of all.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build}
runs=${2:-15}
driver=$build/quorvel-computer
snapshot=$build/bench/quorvel_observe_bench
pause_ms=200

for program in "$driver" "$snapshot"; do
    [ -x "$program" ] || { echo "no $program: build the project first" >&2; exit 1; }
done

eval "$("$root/scripts/desktop.sh" start gtk3-widget-factory)"
trap '"$root/scripts/desktop.sh" stop "$QUORVEL_DESKTOP"' EXIT
pid=$QUORVEL_APP_PIDS
request="{\"pid\": $pid, \"actions\": []}"

milliseconds_since() { echo $(( ($(date +%s%N) - $1) / 1000 )) | awk '{printf "%.1f", $1 / 1000}'; }

# Milliseconds the driver took, less the pause, and the number of nodes in its tree.
time_driver() {
    local start reply elapsed
    start=$(date +%s%N)
    reply=$("$driver" <<<"$request")
    elapsed=$(milliseconds_since "$start")
    python3 -c '
import json, sys
def count(node):
    own = 1 if any(key.startswith("AX") for key in node) else 0
    return own + sum(count(child) for child in node.get("children", []))
print("%.1f %d" % (float(sys.argv[2]) - float(sys.argv[3]),
                   count(json.loads(sys.argv[1])["accessibility_tree"])))' \
        "$reply" "$elapsed" "$pause_ms"
}

time_snapshot() { "$snapshot" "$pid" 1; }

# The walk's own time and node count, then the whole process's time.
time_pyatspi() {
    local start walk
    start=$(date +%s%N)
    walk=$(/usr/bin/python3 "$here/pyatspi-walk.py" "$pid")
    echo "$walk $(milliseconds_since "$start")"
}

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.1f", a / b}'; }

time_driver >/dev/null
time_snapshot >/dev/null
time_pyatspi >/dev/null

declare -a driver_ms snapshot_ms pyatspi_ms python_ms
echo "run   driver (nodes)  snapshot (nodes)  pyatspi (nodes)   python   [ms]"
for run in $(seq "$runs"); do
    read -r one_driver driver_nodes < <(time_driver)
    read -r one_snapshot snapshot_nodes < <(time_snapshot)
    read -r one_walk walk_nodes one_python < <(time_pyatspi)
    driver_ms+=("$one_driver")
    snapshot_ms+=("$one_snapshot")
    pyatspi_ms+=("$one_walk")
    python_ms+=("$one_python")
    printf '%3d  %7s (%s)  %8s (%s)  %7s (%s)  %7s\n' "$run" "$one_driver" "$driver_nodes" \
        "$one_snapshot" "$snapshot_nodes" "$one_walk" "$walk_nodes" "$one_python"
done
median_driver=$(printf '%s\n' "${driver_ms[@]}" | median)
median_snapshot=$(printf '%s\n' "${snapshot_ms[@]}" | median)
median_walk=$(printf '%s\n' "${pyatspi_ms[@]}" | median)
median_python=$(printf '%s\n' "${python_ms[@]}" | median)
echo "medians: driver $median_driver ms, snapshot $median_snapshot ms," \
    "pyatspi walk $median_walk ms, pyatspi process $median_python ms"
echo "pyatspi walk / driver process:    $(ratio "$median_walk" "$median_driver")x"
echo "pyatspi walk / snapshot:          $(ratio "$median_walk" "$median_snapshot")x"
echo "pyatspi process / driver process: $(ratio "$median_python" "$median_driver")x"
