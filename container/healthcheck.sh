#!/usr/bin/env bash
# Healthy when the desktop answers as an agent will use it: the window manager runs on the X
# server, the driver observes with the accessibility bus, and the MCP server says it is ready.
# Exit status 0 when healthy; otherwise 1, with the reason on standard error.
set -uo pipefail

environment=/run/quorvel-desktop/environment
port=${QUORVEL_MCP_PORT:-8765}
fail() { echo "unhealthy: $*" >&2; exit 1; }

[ -r "$environment" ] || fail "the desktop has not started"
# shellcheck disable=SC1090
source "$environment"
timeout 5 xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' ||
    fail "no window manager on ${DISPLAY:-no display}"
reply=$(echo '{"actions": []}' | timeout 10 quorvel-computer)
case "$reply" in
    *'"accessibility":true'*'"ok":true'*) ;;
    *) fail "the driver does not observe with accessibility: $reply" ;;
esac
timeout 5 node -e '
    fetch(`http://127.0.0.1:${process.argv[1]}/health`)
        .then((r) => process.exit(r.status === 200 ? 0 : 1), () => process.exit(1));
' "$port" || fail "the MCP server is not ready on port $port"
