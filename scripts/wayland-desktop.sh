#!/usr/bin/env bash
# A headless Wayland desktop to drive: a private session bus, the accessibility bus, a compositor
# (KWin 6 by default, or weston: one without KWin's services) and the applications asked for.
# Every step waits for a real sign of readiness. Runs where KWin is installed: the root of
# scripts/wayland-root.sh.
#
#   eval "$(scripts/wayland-desktop.sh start [--weston] [COMMAND...])"   starts it; prints the
#       environment to use: WAYLAND_DISPLAY, XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS, the
#       toolkits' switches, QUORVEL_DESKTOP (its state folder), QUORVEL_COMPOSITOR_PID and
#       QUORVEL_APP_PIDS
#   scripts/wayland-desktop.sh app STATE COMMAND   starts one more application, prints its pid
#   scripts/wayland-desktop.sh stop STATE          stops what start and app started, only that
#
# Each COMMAND is one shell command line in one argument. Under KWin an application is ready when
# KWin lists a shown window with its pid; under weston, once it runs.
set -euo pipefail

readiness_timeout=60 # seconds for any one step, on a busy machine too
poll=0.05
here=$(cd "$(dirname "$0")" && pwd)

die() {
  echo "wayland-desktop.sh: $*" >&2
  [ -n "${state:-}" ] && tail -n 5 "$state"/*.log >&2
  exit 1
}

record() { echo "$1" >>"$state/pids"; }

# Runs "$@" until it succeeds, polling, or fails after the timeout.
wait_for() {
  local what=$1
  shift
  local deadline=$((SECONDS + readiness_timeout))
  until "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -lt "$deadline" ] || die "$what not ready after ${readiness_timeout}s"
    sleep "$poll"
  done
}

# The launcher must hold its name before anyone asks it for the address (see desktop.sh).
accessibility_bus_ready() {
  dbus-send --session --print-reply=literal --reply-timeout=1000 --dest=org.freedesktop.DBus \
    / org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus | grep -q true &&
    dbus-send --session --print-reply --reply-timeout=1000 --dest=org.a11y.Bus /org/a11y/bus \
      org.a11y.Bus.GetAddress | grep -q 'string "'
}

kwin_ready() {
  [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] &&
    dbus-send --session --print-reply --reply-timeout=1000 --dest=org.kde.KWin /Scripting \
      org.freedesktop.DBus.Introspectable.Introspect | grep -q loadScript
}

# Under KWin, the compositor lists a shown window of `pid`. weston tells no one its windows: there
# the application only has to be running, and a caller waits for a sign of its own.
has_window() {
  local pid=$1
  if [ "$compositor" = kwin ]; then
    python3 "$here/wayland/kwin-script.py" \
      "return workspace.stackingOrder.some(w => w.pid == $pid && !w.minimized && !w.hidden);" |
      grep -qx true
  else
    running "$pid"
  fi
}

start_app() {
  local command=$1 pid
  # The application runs in its own session so that a stop can never reach the caller; the
  # shell execs it, so the pid recorded is the application's.
  setsid sh -c "exec $command" </dev/null >>"$state/apps.log" 2>&1 &
  pid=$!
  record "$pid"
  wait_for "application '$command'" has_window "$pid"
  echo "$pid"
}

start() {
  compositor=kwin
  if [ "${1:-}" = --weston ]; then
    compositor=weston
    shift
  fi
  state=$(mktemp -d -t quorvel-wayland.XXXXXX)
  : >"$state/pids"
  # A start that fails half way stops what it had started.
  trap 'stop "$state"' EXIT

  export XDG_RUNTIME_DIR=$state/runtime
  mkdir -m 0700 "$XDG_RUNTIME_DIR"
  export WAYLAND_DISPLAY=wayland-quorvel
  unset DISPLAY

  local bus
  bus=$(dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1) ||
    die "dbus-daemon did not start"
  export DBUS_SESSION_BUS_ADDRESS
  DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$bus")
  record "$(sed -n 2p <<<"$bus")"

  /usr/libexec/at-spi-bus-launcher --launch-immediately >>"$state/atspi.log" 2>&1 &
  record $!
  wait_for "accessibility bus" accessibility_bus_ready

  local compositor_pid
  if [ "$compositor" = kwin ]; then
    # QPainter compositing: there is no GPU. No lock screen, shortcuts or activities: nothing
    # of KWin's own takes the keyboard.
    KWIN_COMPOSE=Q kwin_wayland --virtual --width 1280 --height 800 --socket "$WAYLAND_DISPLAY" \
      --no-lockscreen --no-global-shortcuts --no-kactivities >>"$state/kwin.log" 2>&1 &
    compositor_pid=$!
    record "$compositor_pid"
    wait_for "KWin" kwin_ready
  else
    weston --backend=headless --width=1280 --height=800 --socket="$WAYLAND_DISPLAY" \
      --idle-time=0 >>"$state/weston.log" 2>&1 &
    compositor_pid=$!
    record "$compositor_pid"
    wait_for "weston" test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY"
  fi

  # What the applications need to draw without a GPU, on Wayland, with their accessible objects.
  export GDK_BACKEND=wayland GSK_RENDERER=cairo QT_QPA_PLATFORM=wayland \
    QT_QUICK_BACKEND=software QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 GNOME_ACCESSIBILITY=1
  {
    echo "unset DISPLAY"
    for name in XDG_RUNTIME_DIR WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS GDK_BACKEND GSK_RENDERER \
      QT_QPA_PLATFORM QT_QUICK_BACKEND QT_LINUX_ACCESSIBILITY_ALWAYS_ON GNOME_ACCESSIBILITY; do
      echo "export $name='${!name}'"
    done
    echo "export QUORVEL_DESKTOP='$state'"
    echo "export QUORVEL_COMPOSITOR_PID='$compositor_pid'"
  } >"$state/environment"
  echo "$compositor" >"$state/compositor"

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
  # Last started, first stopped: applications, the compositor, the buses.
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

# An application runs in a session of its own: its whole process group gets the signal; the
# other processes, by themselves.
signal() {
  kill "-$1" -- "-$2" 2>/dev/null || kill "-$1" "$2" 2>/dev/null || true
}

# A process that has ended and is not yet reaped by its parent counts as gone.
running() {
  [ -r "/proc/$1/stat" ] && ! sed 's/^.*) //' "/proc/$1/stat" 2>/dev/null | grep -q '^Z'
}

case "${1:-}" in
  start)
    shift
    start "$@"
    ;;
  app)
    state=$2
    # shellcheck disable=SC1090
    source "$state/environment"
    compositor=$(cat "$state/compositor")
    start_app "$3"
    ;;
  stop) stop "$2" ;;
  *) die "usage: wayland-desktop.sh start [--weston] [COMMAND...] | app STATE COMMAND | stop STATE" ;;
esac
