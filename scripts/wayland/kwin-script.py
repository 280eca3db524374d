#!/usr/bin/env python3
"""Runs a KWin script body on the session bus's KWin and prints what it returns, as JSON.

    python3 kwin-script.py 'return workspace.stackingOrder.map(w => w.pid);'

The body is the inside of a JavaScript function; its result goes through JSON.stringify and
back to this process over D-Bus (callDBus to this connection's unique name), so the tests see
the window list, the active window and the stacking order as KWin itself has them, and can
activate, move or raise a window as a user would. Exit status 1 when KWin does not answer in
five seconds.
"""

import os
import sys
import tempfile

from gi.repository import Gio, GLib

INTERFACE = """<node><interface name="org.quorvel.ScriptReport">
<method name="Report"><arg type="s" direction="in"/></method></interface></node>"""


def main():
    body = sys.argv[1]
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    loop = GLib.MainLoop()
    answers = []

    def on_call(_connection, _sender, _path, _interface, _method, parameters, invocation):
        answers.append(parameters.unpack()[0])
        invocation.return_value(None)
        loop.quit()

    node = Gio.DBusNodeInfo.new_for_xml(INTERFACE)
    bus.register_object("/report", node.interfaces[0], on_call, None, None)

    script = (
        "var result = (function () {\n%s\n})();\n"
        'callDBus("%s", "/report", "org.quorvel.ScriptReport", "Report", '
        "JSON.stringify(result === undefined ? null : result));\n"
        % (body, bus.get_unique_name())
    )
    plugin = "quorvel-test-%d" % os.getpid()
    with tempfile.NamedTemporaryFile("w", suffix=".js", delete=False) as file:
        file.write(script)
    try:

        def call(path, interface, method, arguments, reply):
            return bus.call_sync("org.kde.KWin", path, interface, method, arguments,
                                 GLib.VariantType(reply) if reply else None,
                                 Gio.DBusCallFlags.NONE, 5000, None)

        number = call("/Scripting", "org.kde.kwin.Scripting", "loadScript",
                      GLib.Variant("(ss)", (file.name, plugin)), "(i)").unpack()[0]
        try:
            call("/Scripting/Script%d" % number, "org.kde.kwin.Script", "run", None, None)
            GLib.timeout_add(5000, loop.quit)
            loop.run()
        finally:
            call("/Scripting", "org.kde.kwin.Scripting", "unloadScript",
                 GLib.Variant("(s)", (plugin,)), "(b)")
    finally:
        os.unlink(file.name)
    if not answers:
        print("KWin did not answer the script", file=sys.stderr)
        return 1
    print(answers[0])
    return 0


if __name__ == "__main__":
    sys.exit(main())
