#!/usr/bin/env bash
# Installs what is needed, builds, starts a virtual desktop with gtk3-widget-factory and shows what
# an agent does through the MCP server: it observes the windows and the widget factory's numbered
# elements, clicks a text field by its number and types a word, and takes a screenshot with the
# elements marked. The pictures and a trace of the session (an HTML page) go to a new folder in
# /tmp, named at the end; the desktop is stopped after.
#
#   bash scripts/demo.sh          the story in words, the pictures as files
#   bash scripts/demo.sh --raw    each reply as the driver gave it, too
set -euo pipefail
cd "$(dirname "$0")/.."

raw=()
case "${1:-}" in
    "") ;;
    --raw) raw=(--raw) ;;
    *) echo "usage: bash scripts/demo.sh [--raw]" >&2; exit 2 ;;
esac
build=${QUORVEL_DEMO_BUILD:-build}

bash scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
(cd mcp && npm ci --no-audit --no-fund >/dev/null && npm run build >/dev/null)

eval "$(bash scripts/desktop.sh start gtk3-widget-factory)"
trap 'bash scripts/desktop.sh stop "$QUORVEL_DESKTOP"' EXIT
pid=${QUORVEL_APP_PIDS%% *}
out=$(mktemp -d -t quorvel-demo.XXXXXX)

QUORVEL_MCP_DRIVER=$PWD/$build/quorvel-computer node mcp/dist/src/demo.js "$pid" "$out" "${raw[@]}"
