#!/usr/bin/python3
"""Grabs the X server, as a screen grabber or a careless window manager does: while it holds the
grab, the server handles no other client's requests, nor new connections.

    grab_server.py HOLD_SECONDS

Prints "ready" once connected. Commands besides those of recorder.py:

    grab DELAY                after DELAY seconds grabs the server and answers "grabbed T"
                              (T: the CLOCK_MONOTONIC time of the grab); holds it at most
                              HOLD_SECONDS
    grab-when-written PATH    the same as soon as the file PATH is no longer empty (watched
                              every 2 ms): a grab that begins while someone types into it
    release                   ends the grab now; answers "released T" (also said when the
                              hold runs out)
"""

import os
import sys
import time

from recorder import Recorder, now, say


def main(argv):
    hold = float(argv[1])
    client = Recorder()
    state = {"grab_when": None, "release_at": None}

    def grab(words):
        moment = time.monotonic() + float(words[0])
        state["grab_when"] = lambda: time.monotonic() >= moment

    def grab_when_written(words):
        path = words[0]
        state["grab_when"] = lambda: os.path.getsize(path) > 0

    def release(_words=None):
        if state["release_at"] is not None:
            client.display.ungrab_server()
            client.display.sync()
            state["release_at"] = None
            say("released", now())

    def tick():
        if state["grab_when"] is not None and state["grab_when"]():
            state["grab_when"] = None
            client.display.grab_server()
            client.display.sync()
            state["release_at"] = time.monotonic() + hold
            say("grabbed", now())
        if state["release_at"] is not None and time.monotonic() >= state["release_at"]:
            release()

    client.commands["grab"] = grab
    client.commands["grab-when-written"] = grab_when_written
    client.commands["release"] = release
    say("ready")
    client.serve(tick=0.002, every_tick=tick)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
