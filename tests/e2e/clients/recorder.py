"""What the hostile clients of the end-to-end tests share: a connection that records the input
events it is sent, and a loop that answers the test's commands on standard input.

Every client prints one line per answer on standard output. The commands all clients know:

    report    the events received so far: "events" and one "Name:detail" word per event
    quit      ends the client (so does the end of its standard input)

A client ends when its standard input closes, so it never outlives the test that started it.
"""

import os
import select
import time

from Xlib import X, display

INPUT_EVENTS = {
    X.KeyPress: "KeyPress",
    X.KeyRelease: "KeyRelease",
    X.ButtonPress: "ButtonPress",
    X.ButtonRelease: "ButtonRelease",
    X.MotionNotify: "MotionNotify",
}


def say(*words):
    print(" ".join(str(word) for word in words), flush=True)


def now():
    # CLOCK_MONOTONIC, the clock of the test's std::chrono::steady_clock.
    return "%.6f" % time.monotonic()


class Recorder:
    def __init__(self):
        self.display = display.Display()
        self.screen = self.display.screen()
        self.root = self.screen.root
        self.events = []
        self.commands = {"report": self.report}
        self.mapped = set()
        self.pending_input = b""

    def drain(self):
        while self.display.pending_events():
            event = self.display.next_event()
            name = INPUT_EVENTS.get(event.type)
            if name:
                self.events.append("%s:%d" % (name, event.detail))
            elif event.type == X.MapNotify:
                self.mapped.add(event.window.id)

    def report(self, _words):
        # The round trip brings every event the server made before it.
        self.display.sync()
        self.drain()
        say("events", *self.events)

    def window(self, x, y, width, height, override_redirect, event_mask=0):
        return self.root.create_window(
            x, y, width, height, 0, self.screen.root_depth,
            background_pixel=self.screen.black_pixel,
            override_redirect=override_redirect,
            event_mask=event_mask | X.StructureNotifyMask)

    def map_and_wait(self, window):
        window.map()
        self.display.flush()
        while window.id not in self.mapped:
            self.wait(None)

    def wait(self, timeout):
        """Waits up to `timeout` seconds (None: no limit) for the server or a command; handles
        what came. Returns False once standard input has closed or asked to quit."""
        if self.display.pending_events():
            self.drain()
            return True
        readable, _, _ = select.select([0, self.display.fileno()], [], [], timeout)
        if self.display.fileno() in readable:
            self.drain()
        if 0 in readable:
            # Read unbuffered: a line left in a file object's buffer would wake no select.
            chunk = os.read(0, 4096)
            if not chunk:
                return False
            self.pending_input += chunk
            while b"\n" in self.pending_input:
                line, self.pending_input = self.pending_input.split(b"\n", 1)
                words = line.decode().split()
                if words and words[0] == "quit":
                    return False
                if words:
                    handler = self.commands.get(words[0])
                    if handler:
                        handler(words[1:])
                    else:
                        say("unknown", words[0])
        return True

    def serve(self, tick=None, every_tick=None):
        """Answers commands until standard input closes; calls `every_tick` at least every `tick`
        seconds when both are given."""
        while True:
            if not self.wait(tick):
                break
            if every_tick:
                every_tick()
        self.display.close()
        os._exit(0)
