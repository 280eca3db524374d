#!/usr/bin/env bash
# Times, application by application, the driver's observation of the application against a pyatspi
# walk of the same bounds (depth 16, 80 children, 180 nodes, the same attributes), run after run,
# and prints one table of the medians and their ratios at the end.
#
#   bench/observe-vs-pyatspi.sh [BUILD [RUNS [APP...]]]
#
# BUILD is the build folder (default: build); RUNS defaults to $RUNS, else 15; each APP is a name
# that scripts/launch-app.sh knows (default: gtk3 gtk4 qt5 qt6 firefox chromium writer). Every
# application gets a virtual desktop of its own (scripts/desktop.sh), stopped before the next one
# starts. Three figures are taken per run:
#   driver       the executable from its spawn to its exit with an observe-only request for the
#                application, less the 0.2 s pause that every observation begins with
#                (bench/driver-run.py);
#   application  the CPU time the application's threads spent meanwhile (/proc/PID/task/*/schedstat):
#                what it spent answering the driver, the floor of any observation of it;
#   pyatspi      the pyatspi walk of the same bounds from the lookup of the application to the end
#                of the walk, without the start of Python and the import of pyatspi.
# The goal for the driver is at most 1.3 times the application's time plus 5 ms, and never more
# than the walk; the table's last column says whether the medians meet it.
# Once the application's window is up, the walk is tried until pyatspi finds the application on the
# accessibility bus; then one warm-up run of each comes first and is not counted: the application
# makes its accessible objects on the first walk of all. An application that does not start, or
# that one of the two cannot observe, gets a row that says so, and the next one is measured.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build}
runs=${2:-${RUNS:-15}}
shift $(($# < 2 ? $# : 2))
known=(gtk3 gtk4 qt5 qt6 firefox chromium chromium-as-user writer)
default=(gtk3 gtk4 qt5 qt6 firefox chromium writer)
apps=("$@")
[ ${#apps[@]} -gt 0 ] || apps=("${default[@]}")
driver=$build/quorvel-computer
pause_ms=200
registration_timeout=60   # seconds for pyatspi to find the application once its window is up

[ -x "$driver" ] || { echo "no $driver: build the project first" >&2; exit 1; }
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "RUNS must be a positive number, not '$runs'" >&2; exit 1; }
for app in "${apps[@]}"; do
    [[ " ${known[*]} " == *" $app "* ]] || { echo "no application '$app': ${known[*]}" >&2; exit 1; }
done

# Milliseconds the driver took, less the pause; milliseconds the application ran meanwhile; and
# the number of objects in the driver's tree. The driver is spawned from Python without a shell:
# a shell's fork, its here-string file and the forks of `date` cost about 15 ms here, more than
# some observations.
time_driver() {
    local elapsed cpu nodes
    read -r elapsed cpu nodes < <(/usr/bin/python3 "$here/driver-run.py" "$driver" "$pid") || return 1
    [ -n "${nodes:-}" ] || return 1
    awk -v elapsed="$elapsed" -v pause="$pause_ms" -v cpu="$cpu" -v nodes="$nodes" \
        'BEGIN {printf "%.1f %.1f %d\n", elapsed - pause, cpu, nodes}'
}

# The walk's own time and node count.
time_pyatspi() { /usr/bin/python3 "$here/pyatspi-walk.py" "$pid"; }

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b > 0) printf "%.2f", a / b; else print "-"}'; }
# Whether the driver's median meets its goal against the application's and the walk's.
verdict() {
    awk -v driver="$1" -v application="$2" -v walk="$3" 'BEGIN {
        bound = 1.3 * application + 5
        if (driver <= bound && driver <= walk) print "met"
        else if (driver > bound) printf "over %.1f\n", bound
        else print "over walk"
    }'
}
# One count, or the smallest and the largest where runs differed.
spread() { sort -n | awk 'NR == 1 {low = $1} {high = $1} END {print (low == high) ? low : low "-" high}'; }

# Until pyatspi finds the application, or the timeout.
wait_for_registration() {
    local deadline=$((SECONDS + registration_timeout))
    until /usr/bin/python3 "$here/pyatspi-walk.py" "$pid" >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.2
    done
}

# Measures one application on a desktop of its own, in a subshell that stops the desktop as it
# ends; prints the runs, and the result row to descriptor 3.
measure() (
    local app=$1 environment
    if ! environment=$("$root/scripts/desktop.sh" start "'$root/scripts/launch-app.sh' $app"); then
        echo "$app did-not-start" >&3
        return 0
    fi
    eval "$environment"
    # shellcheck disable=SC2064
    trap "'$root/scripts/desktop.sh' stop '$QUORVEL_DESKTOP'" EXIT
    pid=$QUORVEL_APP_PIDS
    if ! wait_for_registration; then
        echo "$app not-on-accessibility-bus" >&3
        return 0
    fi
    local what
    for what in driver pyatspi; do
        if ! "time_$what" >/dev/null 2>&1; then
            echo "$app $what-failed" >&3
            return 0
        fi
    done

    local -a driver_ms application_ms pyatspi_ms driver_nodes walk_nodes
    local run one_driver one_application one_driver_nodes one_walk one_walk_nodes
    echo "$app (pid $pid)"
    echo "run   driver  application (nodes)  pyatspi (nodes)   [ms]"
    for run in $(seq "$runs"); do
        read -r one_driver one_application one_driver_nodes < <(time_driver) || true
        read -r one_walk one_walk_nodes < <(time_pyatspi) || true
        if [ -z "${one_driver_nodes:-}" ] || [ -z "${one_walk_nodes:-}" ]; then
            [ -n "${one_driver_nodes:-}" ] && what=pyatspi || what=driver
            echo "$app $what-failed-in-run-$run" >&3
            return 0
        fi
        driver_ms+=("$one_driver")
        application_ms+=("$one_application")
        pyatspi_ms+=("$one_walk")
        driver_nodes+=("$one_driver_nodes")
        walk_nodes+=("$one_walk_nodes")
        printf '%3d  %7s  %11s (%s)  %7s (%s)\n' "$run" "$one_driver" "$one_application" \
            "$one_driver_nodes" "$one_walk" "$one_walk_nodes"
    done
    echo "$app ok" \
        "$(printf '%s\n' "${driver_ms[@]}" | median)" \
        "$(printf '%s\n' "${application_ms[@]}" | median)" \
        "$(printf '%s\n' "${pyatspi_ms[@]}" | median)" \
        "$(printf '%s\n' "${driver_nodes[@]}" | spread)" \
        "$(printf '%s\n' "${walk_nodes[@]}" | spread)" >&3
)

results=$(mktemp -t quorvel-bench.XXXXXX)
trap 'rm -f "$results"' EXIT
for app in "${apps[@]}"; do
    rows=$(wc -l <"$results")
    measure "$app" 3>>"$results" || true
    [ "$(wc -l <"$results")" -gt "$rows" ] || echo "$app failed" >>"$results"
    echo
done

echo "medians of $runs runs [ms] on $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg);" \
    "goal: driver <= 1.3 x application + 5 and <= pyatspi"
printf '%-17s %7s %12s %8s %19s %15s  %-11s %s\n' application driver application pyatspi \
    driver/application driver/pyatspi goal nodes
while read -r app status driver_median application_median walk_median nodes_driver nodes_walk; do
    if [ "$status" != ok ]; then
        printf '%-17s %s\n' "$app" "${status//-/ }"
        continue
    fi
    printf '%-17s %7s %12s %8s %18sx %14sx  %-11s %s\n' "$app" "$driver_median" \
        "$application_median" "$walk_median" "$(ratio "$driver_median" "$application_median")" \
        "$(ratio "$driver_median" "$walk_median")" \
        "$(verdict "$driver_median" "$application_median" "$walk_median")" \
        "$nodes_driver/$nodes_walk"
done <"$results"
