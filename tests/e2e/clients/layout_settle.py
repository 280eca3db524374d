#!/usr/bin/python3
"""Waits until the window manager has handled every event sent to it so far.

    layout_settle.py [TIMEOUT]

A window manager takes each keyboard mapping change in turn, grabbing its keys again, and holds
clicks meanwhile. It handles its events in order: once it answers a frame extents request sent
now, it is done with every change before it. Prints "settled", or "timeout" after TIMEOUT
seconds (10 by default).
"""

import select
import sys
import time

from Xlib import X, display
from Xlib.protocol import event


def main(argv):
    timeout = float(argv[1]) if len(argv) > 1 else 10.0
    connection = display.Display()
    root = connection.screen().root
    window = root.create_window(0, 0, 1, 1, 0, X.CopyFromParent,
                                event_mask=X.PropertyChangeMask)
    extents = connection.intern_atom("_NET_FRAME_EXTENTS")
    request = connection.intern_atom("_NET_REQUEST_FRAME_EXTENTS")
    message = event.ClientMessage(window=window, client_type=request, data=(32, [0] * 5))
    root.send_event(message, event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)
    connection.flush()
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        while connection.pending_events():
            received = connection.next_event()
            if received.type == X.PropertyNotify and received.atom == extents:
                print("settled", flush=True)
                return 0
        select.select([connection], [], [], max(0.0, deadline - time.monotonic()))
    print("timeout", flush=True)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
