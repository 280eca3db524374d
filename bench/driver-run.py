#!/usr/bin/python3
"""Runs the driver once with an observe-only request for an application and prints, on one line:
the milliseconds from the driver's spawn to its exit, the milliseconds of CPU the application's
threads ran meanwhile, and the number of objects in the reply's tree.

    driver-run.py DRIVER PID

The driver is spawned with posix_spawn (no fork of a shell, no here-string file), so the time is
the driver's own, its process start and exit included. The application's time is read from
/proc/PID/task/*/schedstat right before the spawn and right after the exit.
"""
import glob
import json
import os
import sys
import time


def application_cpu_ns(pid):
    total = 0
    for path in glob.glob(f"/proc/{pid}/task/*/schedstat"):
        try:
            with open(path) as stat:
                total += int(stat.read().split()[0])
        except (OSError, ValueError, IndexError):
            pass  # a thread that ended meanwhile
    return total


def objects_in(node):
    own = 1 if any(key.startswith("AX") for key in node) else 0
    return own + sum(objects_in(child) for child in node.get("children", []))


def main():
    driver, pid = sys.argv[1], int(sys.argv[2])
    request = json.dumps({"pid": pid, "actions": []}).encode() + b"\n"
    request_read, request_write = os.pipe()
    reply_read, reply_write = os.pipe()
    os.write(request_write, request)  # far below a pipe's capacity: never blocks
    os.close(request_write)

    cpu_before = application_cpu_ns(pid)
    start = time.perf_counter_ns()
    child = os.posix_spawn(driver, [driver], os.environ,
                           file_actions=[(os.POSIX_SPAWN_DUP2, request_read, 0),
                                         (os.POSIX_SPAWN_DUP2, reply_write, 1)])
    os.close(request_read)
    os.close(reply_write)
    reply = b""
    while chunk := os.read(reply_read, 65536):
        reply += chunk
    _, status = os.waitpid(child, 0)
    elapsed = time.perf_counter_ns() - start
    cpu_after = application_cpu_ns(pid)
    os.close(reply_read)

    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"the driver exited with {os.waitstatus_to_exitcode(status)}")
    tree = json.loads(reply).get("accessibility_tree")
    if not isinstance(tree, dict):
        sys.exit("the reply has no accessibility tree")
    print(f"{elapsed / 1e6:.1f} {(cpu_after - cpu_before) / 1e6:.1f} {objects_in(tree)}")


if __name__ == "__main__":
    main()
