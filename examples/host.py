#!/usr/bin/python3
"""A small host of quorvel-computer: finds an application's window, clicks its first text field
and types into it, the way any host drives the driver. Standard library only.

    examples/host.py APP TEXT [DRIVER]

APP is the application's name as the observation's window list gives it ("app"), TEXT what to
type, DRIVER the driver's executable (default: quorvel-computer on PATH). Prints the focused
element's value once the text is typed; exits 1 with the driver's message when it fails.
"""
import json
import shutil
import signal
import subprocess
import sys


def run_driver(driver, request):
    """Starts the driver, writes the request, returns the parsed reply line.

    The driver starts with SIGINT and SIGTERM blocked (a child inherits its parent's signal
    mask): it unblocks them once its own handlers are in place, so a signal this host sends to
    cancel the request is never lost or fatal, however early it comes.
    """
    previous = signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT, signal.SIGTERM})
    try:
        process = subprocess.Popen([driver], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL)
    finally:
        signal.pthread_sigmask(signal.SIG_SETMASK, previous)
    line, _ = process.communicate(json.dumps(request).encode())
    try:
        return json.loads(line)
    except ValueError:
        return {"ok": False, "error": "the driver gave no reply (exit status %d)" % process.returncode}


def observe(driver, pid=None):
    request = {"actions": []}
    if pid is not None:
        request["pid"] = pid
    return run_driver(driver, request)


def find_node(node, role):
    """The first node of the role, depth first, that has a place on screen."""
    if node.get("AXRole") == role and "AXPosition" in node and "AXSize" in node:
        return node
    for child in node.get("children", []):
        found = find_node(child, role)
        if found:
            return found
    return None


def click_and_type(driver, pid, text):
    """One batch: observe the target, click its first text field's centre, type."""
    reply = observe(driver, pid)
    if not reply.get("ok"):
        return reply
    field = find_node(reply.get("accessibility_tree", {}), "AXTextField")
    if field is None:
        return {"ok": False, "error": "no text field with a place on screen"}
    x = field["AXPosition"]["x"] + field["AXSize"]["width"] / 2
    y = field["AXPosition"]["y"] + field["AXSize"]["height"] / 2
    return run_driver(driver, {"pid": pid, "actions": [
        {"type": "click", "x": x, "y": y},
        {"type": "keypress", "keys": ["ctrl", "a"]},
        {"type": "type", "text": text},
    ]})


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    app, text = sys.argv[1], sys.argv[2]
    driver = sys.argv[3] if len(sys.argv) > 3 else shutil.which("quorvel-computer")
    if not driver:
        sys.exit("quorvel-computer is not on PATH")

    desktop = observe(driver)
    if not desktop.get("ok"):
        sys.exit(desktop["error"])
    pids = [window["pid"] for window in desktop["windows"] if window["app"] == app]
    if not pids:
        sys.exit("no window of %s: %s" % (app, sorted({w["app"] for w in desktop["windows"]})))

    reply = click_and_type(driver, pids[0], text)
    # The driver's messages say when the desktop changed under the batch: observe again and try
    # once more. Other errors (a permission, a bad request) would only repeat.
    if not reply.get("ok") and "Observe again" in reply.get("error", ""):
        reply = click_and_type(driver, pids[0], text)
    if not reply.get("ok"):
        print(reply["error"], file=sys.stderr)
        sys.exit(1)
    print(reply.get("focused_element", {}).get("AXValue", ""))


main()
