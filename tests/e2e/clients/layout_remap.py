#!/usr/bin/python3
"""Another client that remaps one key again and again, as a key remapping tool does.

    layout_remap.py KEYCODE TIMES INTERVAL FINAL

Binds KEYCODE to F13, F14, ... in turn, TIMES changes INTERVAL seconds apart, then to the
keysym FINAL (a number), and prints "done" once the server has it.
"""

import sys
import time

from Xlib import display

F13 = 0xFFCA


def main(argv):
    keycode, times, interval, final = int(argv[1]), int(argv[2]), float(argv[3]), int(argv[4], 0)
    connection = display.Display()
    width = len(connection.get_keyboard_mapping(keycode, 1)[0])
    for change in range(times):
        keysym = F13 + change % 8
        connection.change_keyboard_mapping(keycode, [[keysym] * 2 + [0] * (width - 2)])
        connection.sync()
        time.sleep(interval)
    connection.change_keyboard_mapping(keycode, [[final] * 2 + [0] * (width - 2)])
    connection.sync()
    print("done", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
