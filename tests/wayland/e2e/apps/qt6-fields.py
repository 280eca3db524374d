#!/usr/bin/env python3
"""A Qt 6 window titled by argv[2] with two line edits, "first" (focused) and "second", that
writes each key and button it receives and each text change to the file argv[1], one line each:
"shown", "press key 38", "release key 38", "press button 1", "release button 1", "focus in",
"focus out" (the keyboard's focus),
"text second <JSON string>". The tests read back what arrived from there."""

import json
import sys
import time

from PyQt6.QtCore import QEvent, QObject, QTimer
from PyQt6.QtWidgets import QApplication, QLineEdit, QVBoxLayout, QWidget

log = open(sys.argv[1], "a", buffering=1, encoding="utf-8")
# With a third argument, each press and release also goes there with the wall-clock time it was
# handled at, for the benchmark's measure of the time from the driver's check to delivery.
times = open(sys.argv[3], "a", buffering=1) if len(sys.argv) > 3 else None
title = sys.argv[2] if len(sys.argv) > 2 else "Qt 6 fields"


def write(line):
    log.write(line + "\n")
    if times and (line.startswith("press") or line.startswith("release")):
        times.write("%.6f %s\n" % (time.time(), line))


class Recorder(QObject):
    """Sees every key and button event of the application before any widget does."""

    def eventFilter(self, watched, event):
        kind = event.type()
        # Qt hands every input event to the window first: counted there, each one counts once.
        if not watched.isWindowType():
            return False
        if kind in (QEvent.Type.KeyPress, QEvent.Type.KeyRelease) and not event.isAutoRepeat():
            verb = "press" if kind == QEvent.Type.KeyPress else "release"
            write("%s key %d" % (verb, event.nativeScanCode()))
        elif kind in (QEvent.Type.MouseButtonPress, QEvent.Type.MouseButtonRelease):
            verb = "press" if kind == QEvent.Type.MouseButtonPress else "release"
            write("%s button %d" % (verb, event.button().value))
        elif kind in (QEvent.Type.FocusIn, QEvent.Type.FocusOut):
            write("focus in" if kind == QEvent.Type.FocusIn else "focus out")
        return False


application = QApplication([sys.argv[0]])
window = QWidget()
window.setWindowTitle(title)
window.resize(420, 200)
layout = QVBoxLayout(window)
for name in ("first", "second"):
    field = QLineEdit()
    field.setAccessibleName(name)
    field.textChanged.connect(lambda text, n=name: write("text %s %s" % (n, json.dumps(text))))
    layout.addWidget(field)
recorder = Recorder()
application.installEventFilter(recorder)
window.show()
QTimer.singleShot(0, lambda: write("shown"))
sys.exit(application.exec())
