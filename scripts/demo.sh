#!/usr/bin/env bash
# Installs what is needed, builds, starts a virtual desktop with gtk3-widget-factory and shows the
# driver's main job: an observation of the desktop, then a batch that clicks into the widget
# factory's text field and types a word. Both replies are printed; the desktop is stopped after.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" >/dev/null

eval "$(bash scripts/desktop.sh start gtk3-widget-factory)"
trap 'bash scripts/desktop.sh stop "$QUORVEL_DESKTOP"' EXIT
pid=${QUORVEL_APP_PIDS%% *}

echo "Observation:"
echo "{\"pid\":$pid,\"actions\":[{\"type\":\"screenshot\"}]}" | build/quorvel-computer
echo "Click into the text field and type:"
# The widget factory opens at the top left of the 1366x768 screen; its first entry is here.
echo "{\"pid\":$pid,\"actions\":[{\"type\":\"click\",\"x\":170,\"y\":253},{\"type\":\"type\",\"text\":\"hello\"}]}" |
    build/quorvel-computer
