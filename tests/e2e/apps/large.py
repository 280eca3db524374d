#!/usr/bin/python3
"""A GTK 3 application built to be large, for the observation's bounds.

    large.py KIND

KIND is one of:
    rows      a tree view of 50,000 rows in two columns
    labels    20,000 labels in one box
    text      a text view holding 10 MB of non-ASCII text
    windows   300 top-level windows without titles

Every 10 ms the main loop is asked to run a tick; a tick that comes more than 50 ms late is a
stall, and with STALL_LOG set each stall is appended to that file as one line: its milliseconds.
"""
import os
import sys
import time

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk  # noqa: E402

TICK_MS = 10
STALL_MS = 50


def scrolled(child):
    window = Gtk.ScrolledWindow()
    window.add(child)
    return window


def rows():
    store = Gtk.ListStore(str, str)
    for index in range(50000):
        store.append(["row %d" % index, "value %d" % (index * 7)])
    view = Gtk.TreeView(model=store)
    for column, title in enumerate(("Name", "Value")):
        view.append_column(Gtk.TreeViewColumn(title, Gtk.CellRendererText(), text=column))
    return scrolled(view)


def labels():
    box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
    for index in range(20000):
        box.pack_start(Gtk.Label(label="label %d" % index), False, False, 0)
    return scrolled(box)


def text():
    line = "Grüße aus Köln, 日本語のテキスト, ελληνικά — line %d\n"
    pieces = []
    size = 0
    index = 0
    while size < 10 * 1024 * 1024:
        piece = line % index
        pieces.append(piece)
        size += len(piece.encode())
        index += 1
    view = Gtk.TextView()
    view.get_buffer().set_text("".join(pieces))
    return scrolled(view)


def watch_stalls():
    log = os.environ.get("STALL_LOG")
    last = [time.monotonic()]

    def tick():
        now = time.monotonic()
        late = (now - last[0]) * 1000 - TICK_MS
        last[0] = now
        if log and late > STALL_MS:
            with open(log, "a") as stalls:
                stalls.write("%d\n" % late)
        return True

    GLib.timeout_add(TICK_MS, tick)


def main():
    kind = sys.argv[1] if len(sys.argv) > 1 else ""
    builders = {"rows": rows, "labels": labels, "text": text}
    if kind == "windows":
        # The first is the one desktop.sh waits for; the others follow it.
        windows = []
        for index in range(300):
            window = Gtk.Window()
            window.set_default_size(200, 100)
            window.move(20 + index % 40 * 10, 20 + index % 30 * 10)
            window.add(Gtk.Label(label="window %d" % index))
            window.connect("destroy", Gtk.main_quit)
            window.show_all()
            windows.append(window)
    elif kind in builders:
        window = Gtk.Window(title="Large " + kind)
        window.set_default_size(800, 600)
        window.add(builders[kind]())
        window.connect("destroy", Gtk.main_quit)
        window.show_all()
    else:
        sys.exit("usage: large.py rows|labels|text|windows")
    watch_stalls()
    Gtk.main()


main()
