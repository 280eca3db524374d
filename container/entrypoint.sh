#!/usr/bin/env bash
# The desktop container's entry point: a virtual desktop (Xvfb, a session bus, the accessibility
# bus, openbox and the applications given as arguments, each one shell command line), then the
# MCP server over HTTP on every address of the container, with the token from a mounted file.
#
#   QUORVEL_TOKEN_FILE   the bearer token's file (default /run/secrets/quorvel-token)
#   QUORVEL_MCP_PORT     the port (default 8765)
#   QUORVEL_MCP_HOST     the address to listen on (default 0.0.0.0: the container's own network)
set -euo pipefail

token_file=${QUORVEL_TOKEN_FILE:-/run/secrets/quorvel-token}
port=${QUORVEL_MCP_PORT:-8765}
lib=/usr/lib/quorvel-desktop

[ -r "$token_file" ] || {
    echo "quorvel-desktop: no token file at $token_file: mount one (or set QUORVEL_TOKEN_FILE)" >&2
    exit 2
}

# The session bus wants a machine id; each container has its own.
dbus-uuidgen --ensure
# The desktop's environment, kept where the health check finds it.
mkdir -p /run/quorvel-desktop
"$lib/desktop.sh" start "$@" >/run/quorvel-desktop/environment
# shellcheck disable=SC1091
source /run/quorvel-desktop/environment

# The server runs until it is told to stop (a stop cancels its running drivers); then the desktop
# is stopped too. A server that ends by itself ends the container, for the orchestrator to see.
server=""
trap '[ -z "$server" ] || kill -TERM "$server" 2>/dev/null' TERM INT
node /usr/lib/quorvel-mcp/dist/src/server.js --http "$port" --host "${QUORVEL_MCP_HOST:-0.0.0.0}" \
    --token-file "$token_file" &
server=$!
status=0
wait "$server" || status=$?
# A signal ends the first wait early; the second waits for the server itself.
if kill -0 "$server" 2>/dev/null; then
    wait "$server" || status=$?
fi
"$lib/desktop.sh" stop "$QUORVEL_DESKTOP"
exit "$status"
