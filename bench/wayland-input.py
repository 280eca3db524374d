#!/usr/bin/env python3
"""What the KWin platform adds to the driver's own pauses, and the time that remains between its
last check of the window at the point and the press reaching the application.

Run it by hand in the Wayland root (it is not a test):
    bash scripts/wayland-root.sh run python3 /quorvel/bench/wayland-input.py \\
        /build/wayland-tests/quorvel-computer

On a headless KWin with the GTK 4 test application it times, 5 runs each, a 1000-character text
of keys the layout has, the same length of text with characters it lacks (the README's mix), and
a click batch, and prints each one's overhead beyond the designed pauses. Then it runs click
batches under strace: the window is from the driver's last message to KWin before the press (the
question whose answer is the check) to the application handling the press, by the application's
own clock. strace slows the driver, so that figure is an upper bound.
"""

import json
import os
import re
import shlex
import statistics
import subprocess
import sys
import tempfile
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DESKTOP = os.path.join(SOURCE, "scripts", "wayland-desktop.sh")
APP = os.path.join(SOURCE, "tests", "wayland", "e2e", "apps", "gtk4-fields.py")
RUNS = 5

# The driver's own pauses: the first focus poll, the snapshot pause, per click 3 x 0.12 s, per
# typed character 0.005 s.
FOCUS_POLL, SNAPSHOT, CLICK, PER_CHARACTER = 0.05, 0.2, 0.36, 0.005


def start_desktop(folder):
    log, times = os.path.join(folder, "app.log"), os.path.join(folder, "times.log")
    command = "python3 %s %s bench %s" % tuple(shlex.quote(x) for x in (APP, log, times))
    out = subprocess.run(["bash", DESKTOP, "start", command], check=True, capture_output=True,
                         text=True).stdout
    env = dict(os.environ)
    for line in out.splitlines():
        match = re.match(r"export (\w+)='(.*)'$", line)
        if match:
            env[match.group(1)] = match.group(2)
    env.pop("DISPLAY", None)
    return env, times


def run(driver, request, env, prefix=()):
    start = time.monotonic()
    done = subprocess.run(list(prefix) + [driver], input=json.dumps(request), env=env,
                          capture_output=True, text=True)
    return time.monotonic() - start, json.loads(done.stdout or "null")


def field_centre(reply):
    stack = [reply.get("accessibility_tree", {})]
    while stack:
        node = stack.pop()
        if node.get("AXRole") == "AXTextField" and "AXPosition" in node:
            position, size = node["AXPosition"], node["AXSize"]
            return position["x"] + size["width"] / 2, position["y"] + size["height"] / 2
        stack.extend(node.get("children", []))
    raise SystemExit("no positioned text field in the observation")


def overheads(driver, env, pid, centre):
    mixed = "".join("\u00e9t\u00e9 \U0001F600 abc " if i % 10 == 9 else "abcdefghi "
                    for i in range(100))
    mixed = mixed[:1000]
    click = {"type": "click", "x": centre[0], "y": centre[1]}
    cases = [
        ("1000 characters the layout has", [click, {"type": "type", "text": "abcdefghi " * 100}],
         FOCUS_POLL + CLICK + PER_CHARACTER * 1000 + SNAPSHOT),
        ("1000 characters, some it lacks", [click, {"type": "type", "text": mixed}],
         FOCUS_POLL + CLICK + PER_CHARACTER * len(mixed) + SNAPSHOT),
        ("click batch", [click], FOCUS_POLL + CLICK + SNAPSHOT),
    ]
    clear = {"pid": pid, "actions": [click, {"type": "keypress", "keys": ["ctrl", "a"]},
                                     {"type": "keypress", "keys": ["delete"]}]}
    for name, actions, pauses in cases:
        extra = []
        for _ in range(RUNS):
            run(driver, clear, env)
            elapsed, reply = run(driver, {"pid": pid, "actions": actions}, env)
            if not reply or not reply.get("ok"):
                print("%s failed: %s" % (name, reply))
                continue
            extra.append(elapsed - pauses)
        if extra:
            median = statistics.median(extra)
            print("%s: pauses %.0f ms, overhead median %.0f ms (%.1f %%), range %.0f-%.0f ms"
                  % (name, pauses * 1000, median * 1000, 100 * median / pauses,
                     min(extra) * 1000, max(extra) * 1000))


# strace lines: pid, wall-clock seconds, the call and its first argument.
CALL = re.compile(r"^(\d+)\s+(\d+\.\d+) (\w+)\((\d+)(.*)$")


def remaining_window(driver, env, pid, centre, times, folder):
    bus_path = re.search(r"unix:path=([^,]+)", env["DBUS_SESSION_BUS_ADDRESS"]).group(1)
    windows = []
    for attempt in range(RUNS):
        trace = os.path.join(folder, "trace.%d" % attempt)
        already = len(open(times).read().splitlines())
        _, reply = run(driver, {"pid": pid, "actions": [
            {"type": "click", "x": centre[0], "y": centre[1]}]}, env,
            ["strace", "-f", "-ttt", "-e", "trace=connect,close,sendmsg,sendto,write,writev",
             "-o", trace])
        if not reply or not reply.get("ok"):
            print("traced click failed: %s" % reply)
            continue
        presses = [float(line.split()[0]) for line in open(times).read().splitlines()[already:]
                   if line.split()[1:] == ["press", "button", "1"]]
        # The session bus's connection, by descriptor, as connect and close leave it.
        bus_fds, sends = set(), []
        for line in open(trace):
            match = CALL.match(line)
            if not match:
                continue
            _, when, call, fd, rest = match.groups()
            if call == "connect" and bus_path in rest:
                bus_fds.add(fd)
            elif call == "close":
                bus_fds.discard(fd)
            elif fd in bus_fds and call in ("sendmsg", "sendto", "write", "writev"):
                sends.append(float(when))
        if len(presses) != 1:
            print("the application saw %d presses" % len(presses))
            continue
        before = [when for when in sends if when < presses[0]]
        if before:
            windows.append(presses[0] - before[-1])
    if windows:
        print("from the driver's last question to KWin before the press to the application "
              "handling it (under strace): median %.1f ms, range %.1f-%.1f ms, %d runs"
              % (statistics.median(windows) * 1000, min(windows) * 1000, max(windows) * 1000,
                 len(windows)))


def main():
    driver = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        env, times = start_desktop(folder)
        try:
            pid = int(env["QUORVEL_APP_PIDS"].split()[0])
            _, reply = run(driver, {"pid": pid, "actions": []}, env)
            centre = field_centre(reply)
            overheads(driver, env, pid, centre)
            remaining_window(driver, env, pid, centre, times, folder)
        finally:
            subprocess.run(["bash", DESKTOP, "stop", env["QUORVEL_DESKTOP"]])


if __name__ == "__main__":
    main()
