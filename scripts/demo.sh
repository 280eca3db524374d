#!/usr/bin/env bash
# Installs what is needed, builds, and shows the driver's main job: an observation of the desktop.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
echo '{"actions":[{"type":"screenshot"}]}' | build/quorvel-computer
