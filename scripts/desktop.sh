#!/usr/bin/env bash
# A virtual X11 desktop to drive: Xvfb, a session bus, the accessibility bus, openbox without key
# bindings, and the applications asked for. Every step waits for a real sign of readiness.
#
#   eval "$(scripts/desktop.sh start [COMMAND...])"   starts it; prints the environment to use:
#       DISPLAY, DBUS_SESSION_BUS_ADDRESS, QUORVEL_DESKTOP (its state folder) and QUORVEL_APP_PIDS
#   scripts/desktop.sh app STATE COMMAND              starts one more application, prints its pid
#   scripts/desktop.sh stop STATE                     stops what start and app started, only that
#
# Each COMMAND is one shell command line in one argument, for example "xterm -e sh". An application is
# ready when it has a mapped window managed by openbox that carries its pid.
set -euo pipefail

readiness_timeout=60   # seconds for any one step, on a busy machine too
poll=0.05

die() {
    echo "desktop.sh: $*" >&2
    [ -n "${state:-}" ] && tail -n 5 "$state"/*.log >&2
    exit 1
}

record() { echo "$1" >>"$state/pids"; }

# Runs "$@" until it succeeds, polling, or fails after the timeout.
wait_for() {
    local what=$1; shift
    local deadline=$((SECONDS + readiness_timeout))
    until "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$deadline" ] || die "$what not ready after ${readiness_timeout}s"
        sleep "$poll"
    done
}

# The first display number from a random start that no X server holds.
free_display() {
    local used number
    used=$(grep -o '/tmp/.X11-unix/X[0-9]*' /proc/net/unix 2>/dev/null | sed 's/.*X//' | sort -u)
    number=$((100 + RANDOM % 800))
    while grep -qx "$number" <<<"$used" || [ -e "/tmp/.X$number-lock" ] ||
        [ -e "/tmp/.X11-unix/X$number" ]; do
        number=$((number + 1))
    done
    echo "$number"
}

window_manager_ready() {
    xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'
}

# The launcher must hold its name before anyone asks it for the address: the name is activatable,
# so a question asked earlier makes the session bus start a second launcher, whose bus is the one
# the applications then use and the one that stop does not know of.
accessibility_bus_ready() {
    dbus-send --session --print-reply=literal --reply-timeout=1000 --dest=org.freedesktop.DBus \
        / org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus | grep -q true &&
        dbus-send --session --print-reply --reply-timeout=1000 --dest=org.a11y.Bus /org/a11y/bus \
            org.a11y.Bus.GetAddress | grep -q 'string "'
}

accessibility_bus_address() {
    dbus-send --session --print-reply=literal --reply-timeout=1000 --dest=org.a11y.Bus \
        /org/a11y/bus org.a11y.Bus.GetAddress | sed 's/^ *//'
}

# A window in the window manager's client list that is viewable and carries the pid.
has_managed_window() {
    local pid=$1 window
    for window in $(xprop -root _NET_CLIENT_LIST | sed -n 's/.*# //p' | tr ',' ' '); do
        if xprop -id "$window" _NET_WM_PID | grep -q "= $pid\$" &&
            xwininfo -id "$window" | grep -q 'IsViewable'; then
            return 0
        fi
    done
    return 1
}

start_app() {
    local command=$1 pid
    # The application runs in its own session so that a stop can never reach the caller; the
    # shell execs it, so the pid recorded is the application's.
    setsid sh -c "exec $command" </dev/null >>"$state/apps.log" 2>&1 &
    pid=$!
    record "$pid"
    wait_for "application '$command'" has_managed_window "$pid"
    echo "$pid"
}

rc_without_key_bindings() {
    # openbox's stock configuration, with empty keyboard and mouse sections: its default chords
    # would swallow the driver's (Super+d hides every window, Alt+F4 closes one), and its
    # click-to-focus binding grabs the buttons, under which Firefox ignores synthesized clicks.
    sed '/<keyboard>/,/<\/keyboard>/d; /<mouse>/,/<\/mouse>/d' /etc/xdg/openbox/rc.xml |
        sed 's|</openbox_config>|<keyboard></keyboard><mouse></mouse></openbox_config>|' \
            >"$state/rc.xml"
}

start() {
    state=$(mktemp -d -t quorvel-desktop.XXXXXX)
    : >"$state/pids"
    # A start that fails half way stops what it had started.
    trap 'stop "$state"' EXIT

    # Xvfb writes the display number to the descriptor once it accepts connections. The number
    # is chosen here among those that no server holds, by socket (named or abstract) or lock
    # file, because a server started to search for one itself was seen to end up on a display
    # whose lock file had gone while another server still listened there. Without -noreset the
    # server resets whenever its last client leaves (a readiness check, the accessibility bus
    # launcher) and refuses the next one meanwhile: openbox failed to start that way.
    mkfifo "$state/displayfd"
    local number="" attempt candidate
    for attempt in 1 2 3 4 5; do
        candidate=$(free_display)
        Xvfb ":$candidate" -displayfd 9 -screen 0 1280x800x24 -nolisten tcp -noreset \
            9>"$state/displayfd" >>"$state/xvfb.log" 2>&1 &
        local xvfb=$!
        if read -r -t "$readiness_timeout" number <"$state/displayfd" && [ "$number" = "$candidate" ]; then
            record "$xvfb"
            break
        fi
        kill "$xvfb" 2>/dev/null || true
        wait "$xvfb" 2>/dev/null || true
        number=""
    done
    [ -n "$number" ] || die "Xvfb did not start"
    export DISPLAY=":$number"

    local bus
    bus=$(dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1) ||
        die "dbus-daemon did not start"
    export DBUS_SESSION_BUS_ADDRESS
    DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$bus")
    record "$(sed -n 2p <<<"$bus")"

    /usr/libexec/at-spi-bus-launcher --launch-immediately >>"$state/atspi.log" 2>&1 &
    record $!
    wait_for "accessibility bus" accessibility_bus_ready
    # Qt registers only with a bus it finds on the root window.
    xprop -root -f AT_SPI_BUS 8s -set AT_SPI_BUS "$(accessibility_bus_address)"
    # Assistive technologies on, as a desktop's accessibility setting turns them on: Chromium,
    # started as a user starts it, joins the accessibility bus only when it finds this set.
    dbus-send --session --print-reply --reply-timeout=1000 --dest=org.a11y.Bus /org/a11y/bus \
        org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled \
        variant:boolean:true >/dev/null || die "the accessibility bus did not take IsEnabled"

    rc_without_key_bindings
    openbox --config-file "$state/rc.xml" >>"$state/openbox.log" 2>&1 &
    record $!
    wait_for "openbox" window_manager_ready

    # What the applications need to show their accessible objects: Qt's and Firefox's switches,
    # and GTK 4's software renderer (its GL one spins without a GPU and never registers).
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 GNOME_ACCESSIBILITY=1 GSK_RENDERER=cairo
    {
        echo "export DISPLAY='$DISPLAY'"
        echo "export DBUS_SESSION_BUS_ADDRESS='$DBUS_SESSION_BUS_ADDRESS'"
        echo "export QUORVEL_DESKTOP='$state'"
        for name in QT_LINUX_ACCESSIBILITY_ALWAYS_ON GNOME_ACCESSIBILITY GSK_RENDERER; do
            echo "export $name='${!name}'"
        done
    } >"$state/environment"
    # The applications started here get the environment that those started with app get.
    # shellcheck disable=SC1091
    source "$state/environment"

    local pids=()
    for command in "$@"; do
        pids+=("$(start_app "$command")")
    done
    echo "export QUORVEL_APP_PIDS='${pids[*]}'" >>"$state/environment"
    trap - EXIT
    cat "$state/environment"
}

stop() {
    state=$1
    [ -f "$state/pids" ] || die "no desktop state in '$state'"
    # Last started, first stopped: applications, openbox, the buses, then the X server.
    local pids
    mapfile -t pids < <(tac "$state/pids")
    for pid in "${pids[@]}"; do
        signal TERM "$pid"
    done
    local deadline=$((SECONDS + 5))
    for pid in "${pids[@]}"; do
        while running "$pid" && [ "$SECONDS" -lt "$deadline" ]; do
            sleep "$poll"
        done
        signal KILL "$pid"
    done
    rm -rf "$state"
}

# An application runs in a session of its own: its whole process group gets the signal (a
# browser's helper processes with it); the other processes, by themselves.
signal() {
    kill "-$1" -- "-$2" 2>/dev/null || kill "-$1" "$2" 2>/dev/null || true
}

# A process that has ended and is not yet reaped by its parent counts as gone.
running() {
    [ -r "/proc/$1/stat" ] && ! sed 's/^.*) //' "/proc/$1/stat" 2>/dev/null | grep -q '^Z'
}

case "${1:-}" in
    start) shift; start "$@" ;;
    app)
        state=$2
        # shellcheck disable=SC1091
        source "$state/environment"
        start_app "$3"
        ;;
    stop) stop "$2" ;;
    *) die "usage: desktop.sh start [COMMAND...] | app STATE COMMAND | stop STATE" ;;
esac
