#!/usr/bin/env python3
"""A GTK 4 window titled by argv[2] with two text fields, "first" (focused) and "second", that
writes each key and button it receives and each text change to the file argv[1], one line each:
"shown", "press key 38", "release key 38", "press button 1", "release button 1", "focus in",
"focus out" (the keyboard's focus),
"text second <JSON string>". The tests read back what arrived from there."""

import json
import sys
import time

import gi

gi.require_version("Gdk", "4.0")
gi.require_version("Gtk", "4.0")
from gi.repository import Gdk, Gio, GLib, Gtk  # noqa: E402

log = open(sys.argv[1], "a", buffering=1, encoding="utf-8")
# With a third argument, each press and release also goes there with the wall-clock time it was
# handled at, for the benchmark's measure of the time from the driver's check to delivery.
times = open(sys.argv[3], "a", buffering=1) if len(sys.argv) > 3 else None
title = sys.argv[2] if len(sys.argv) > 2 else "GTK 4 fields"


def write(line):
    log.write(line + "\n")
    if times and (line.startswith("press") or line.startswith("release")):
        times.write("%.6f %s\n" % (time.time(), line))


def on_event(controller, _event):
    # PyGObject hands the signal no event: the controller has it.
    event = controller.get_current_event()
    kind = event.get_event_type()
    if kind in (Gdk.EventType.KEY_PRESS, Gdk.EventType.KEY_RELEASE):
        verb = "press" if kind == Gdk.EventType.KEY_PRESS else "release"
        write("%s key %d" % (verb, event.get_keycode()))
    elif kind in (Gdk.EventType.BUTTON_PRESS, Gdk.EventType.BUTTON_RELEASE):
        verb = "press" if kind == Gdk.EventType.BUTTON_PRESS else "release"
        write("%s button %d" % (verb, event.get_button()))
    elif kind == Gdk.EventType.FOCUS_CHANGE:
        write("focus in" if event.get_in() else "focus out")
    return False


def on_activate(app):
    window = Gtk.ApplicationWindow(application=app, title=title)
    window.set_default_size(420, 200)
    box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=24)
    for side in ("margin_top", "margin_bottom", "margin_start", "margin_end"):
        box.set_property(side, 24)
    for name in ("first", "second"):
        entry = Gtk.Entry()
        entry.update_property([Gtk.AccessibleProperty.LABEL], [name])
        entry.connect("changed", lambda e, n=name: write("text %s %s" % (n, json.dumps(e.get_text()))))
        box.append(entry)
    window.set_child(box)

    # Every key and button event reaches the window's legacy controller first, in the capture
    # phase, before any widget's gesture can claim it.
    events = Gtk.EventControllerLegacy()
    events.set_propagation_phase(Gtk.PropagationPhase.CAPTURE)
    events.connect("event", on_event)
    window.add_controller(events)
    window.connect("map", lambda w: GLib.idle_add(lambda: write("shown")))
    window.present()


application = Gtk.Application(application_id="org.quorvel.GtkFields",
                              flags=Gio.ApplicationFlags.NON_UNIQUE)
application.connect("activate", on_activate)
application.run([sys.argv[0]])
