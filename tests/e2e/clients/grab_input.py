#!/usr/bin/python3
"""Holds an active grab of the keyboard or the pointer, as a screen locker, a menu of another
program or a key-grabbing tool does, and records every input event the grab brings it.

    grab_input.py keyboard|pointer own|root

"own" grabs on a small override-redirect window of its own in the bottom right corner (mapped,
as a grab needs, without taking the focus); "root" grabs on the root window. Both with
owner_events false: every event of the device comes here, whatever window it was meant for.
Prints "ready WINDOW" once the grab is held. Commands besides those of recorder.py:

    release   ends the grab; answers "released"
"""

import sys

from Xlib import X

from recorder import Recorder, say

POINTER_EVENTS = X.ButtonPressMask | X.ButtonReleaseMask | X.PointerMotionMask


def main(argv):
    device, where = argv[1], argv[2]
    client = Recorder()
    if where == "own":
        screen = client.screen
        window = client.window(screen.width_in_pixels - 40, screen.height_in_pixels - 40, 30, 30,
                               True, POINTER_EVENTS | X.KeyPressMask | X.KeyReleaseMask)
        client.map_and_wait(window)
    else:
        window = client.root
    if device == "keyboard":
        status = window.grab_keyboard(False, X.GrabModeAsync, X.GrabModeAsync, X.CurrentTime)
    else:
        status = window.grab_pointer(False, POINTER_EVENTS, X.GrabModeAsync, X.GrabModeAsync,
                                     X.NONE, X.NONE, X.CurrentTime)
    if status != X.GrabSuccess:
        say("failed", status)
        return 1

    def release(_words):
        if device == "keyboard":
            client.display.ungrab_keyboard(X.CurrentTime)
        else:
            client.display.ungrab_pointer(X.CurrentTime)
        client.display.sync()
        say("released")

    client.commands["release"] = release
    say("ready", window.id)
    client.serve()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
