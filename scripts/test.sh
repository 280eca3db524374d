#!/usr/bin/env bash
# Installs what is needed, builds with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
# The MCP server, on the build's driver and capture program (Node.js 20 and npm's registry).
(cd mcp && npm ci --no-audit --no-fund >/dev/null && npm test)
