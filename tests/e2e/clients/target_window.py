#!/usr/bin/python3
"""A window that the window manager manages and will focus, of a client that is itself the
driver's target, recording the input it receives.

    target_window.py X Y WIDTH HEIGHT

Asks to be placed at (X, Y), which may lie off the screen, and moves itself there again once
mapped should the window manager have placed it elsewhere. Prints "ready WINDOW RX RY" with the
root position of its window once mapped. Commands besides those of recorder.py:

    where     answers "at RX RY", the window's root position now
"""

import os
import sys

from Xlib import X, Xutil

from recorder import Recorder, say

INPUT_MASK = (X.ButtonPressMask | X.ButtonReleaseMask | X.KeyPressMask | X.KeyReleaseMask)


def main(argv):
    x, y, width, height = (int(word) for word in argv[1:5])
    client = Recorder()
    display = client.display
    window = client.window(x, y, width, height, False, INPUT_MASK)
    window.set_wm_name("quorvel target")
    window.set_wm_class("quorveltarget", "QuorvelTarget")
    window.set_wm_hints(flags=Xutil.InputHint, input=1)
    window.set_wm_normal_hints(flags=Xutil.USPosition | Xutil.USSize, x=x, y=y, width=width,
                               height=height)
    window.change_property(display.intern_atom("_NET_WM_PID"), display.intern_atom("CARDINAL"),
                           32, [os.getpid()])
    client.map_and_wait(window)

    def where():
        position = window.translate_coords(client.root, 0, 0)
        # translate_coords gives the root origin in the window's coordinates.
        return -position.x, -position.y

    if (x < 0) != (where()[0] < 0):
        window.configure(x=x, y=y)
        display.sync()

    client.commands["where"] = lambda _words: say("at", *where())
    say("ready", window.id, *where())
    client.serve()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
