#!/usr/bin/env bash
# Runs the driver under valgrind's memcheck on a virtual desktop with gtk3-widget-factory: an
# observation of the application, then an input batch (a click, a chord, typed text, a scroll and
# a drag). Fails on any invalid access, use of uninitialised memory or leak; no suppressions.
set -euo pipefail
cd "$(dirname "$0")/.."

driver=${1:-build/quorvel-computer}

eval "$(bash scripts/desktop.sh start gtk3-widget-factory)"
trap 'bash scripts/desktop.sh stop "$QUORVEL_DESKTOP"' EXIT
pid=${QUORVEL_APP_PIDS%% *}

run_checked() {
    local name=$1 request=$2 reply status
    echo "== $name"
    set +e
    reply=$(echo "$request" | valgrind --quiet --error-exitcode=99 --leak-check=full \
        --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible \
        --gen-suppressions=all "$driver")
    status=$?
    set -e
    echo "${reply:0:200}"
    [ "$status" -ne 99 ] || { echo "memcheck found errors in: $name" >&2; exit 1; }
    [ "$status" -eq 0 ] || { echo "the $name request failed: $reply" >&2; exit 1; }
}

run_checked observation "{\"pid\":$pid,\"actions\":[{\"type\":\"screenshot\"}]}"
run_checked input "{\"pid\":$pid,\"actions\":[
  {\"type\":\"click\",\"x\":170,\"y\":253},
  {\"type\":\"keypress\",\"keys\":[\"ctrl\",\"a\"]},
  {\"type\":\"type\",\"text\":\"h\u00e9llo \u65e5\u672c \ud83d\ude00\"},
  {\"type\":\"scroll\",\"x\":400,\"y\":400,\"scroll_y\":100},
  {\"type\":\"drag\",\"path\":[{\"x\":300,\"y\":500},{\"x\":320,\"y\":500}]}]}"
echo "memcheck: no errors"
