#!/usr/bin/python3
"""An override-redirect window (a notification, a tooltip, another program's pop-up) that
records the button events it receives.

    popup.py X Y WIDTH HEIGHT                     mapped at once
    popup.py X Y WIDTH HEIGHT PX PY DELAY         mapped DELAY seconds after the pointer reached
                                                  the point (PX, PY), watched every 2 ms

Prints "ready WINDOW" once mapped, or once watching; then "mapped SEEN MAPPED" with the
CLOCK_MONOTONIC times at which it saw the pointer there and at which its window was mapped.
"""

import sys
import time

from Xlib import X

from recorder import Recorder, now, say


def main(argv):
    x, y, width, height = (int(word) for word in argv[1:5])
    client = Recorder()
    window = client.window(x, y, width, height, True, X.ButtonPressMask | X.ButtonReleaseMask)
    if len(argv) <= 5:
        client.map_and_wait(window)
        say("ready", window.id)
        client.serve()
        return 0

    point = (int(argv[5]), int(argv[6]))
    delay = float(argv[7])
    state = {"seen": None, "done": False}

    def tick():
        if state["done"]:
            return
        if state["seen"] is None:
            pointer = client.root.query_pointer()
            if (pointer.root_x, pointer.root_y) == point:
                state["seen"] = time.monotonic()
                state["seen_text"] = now()
        if state["seen"] is not None and time.monotonic() >= state["seen"] + delay:
            state["done"] = True
            window.map()
            client.display.sync()
            say("mapped", state["seen_text"], now())

    say("ready", window.id)
    client.serve(tick=0.002, every_tick=tick)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
