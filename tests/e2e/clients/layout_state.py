#!/usr/bin/python3
"""Reads or changes the keyboard's XKB state on $DISPLAY through libX11.

    layout_state.py show               prints "group=N locked_mods=M latched_mods=L"
    layout_state.py group N            locks group N (0 is the first)
    layout_state.py caps on|off        locks or unlocks Caps Lock
    layout_state.py numlock on|off     locks or unlocks Num Lock (Mod2)
"""

import ctypes
import sys

USE_CORE_KBD = 0x100
LOCK_MASK = 0x02
MOD2_MASK = 0x10


class XkbState(ctypes.Structure):
    _fields_ = [
        ("group", ctypes.c_ubyte),
        ("locked_group", ctypes.c_ubyte),
        ("base_group", ctypes.c_ushort),
        ("latched_group", ctypes.c_ushort),
        ("mods", ctypes.c_ubyte),
        ("base_mods", ctypes.c_ubyte),
        ("latched_mods", ctypes.c_ubyte),
        ("locked_mods", ctypes.c_ubyte),
        ("compat_state", ctypes.c_ubyte),
        ("grab_mods", ctypes.c_ubyte),
        ("compat_grab_mods", ctypes.c_ubyte),
        ("lookup_mods", ctypes.c_ubyte),
        ("compat_lookup_mods", ctypes.c_ubyte),
        ("ptr_buttons", ctypes.c_ushort),
    ]


def main(argv):
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    for name in ("XSync", "XkbLockGroup", "XkbLockModifiers", "XkbGetState", "XCloseDisplay"):
        getattr(x11, name).argtypes = None
    display = ctypes.c_void_p(x11.XOpenDisplay(None))
    if not display:
        print("no display", file=sys.stderr)
        return 1
    command = argv[1] if len(argv) > 1 else "show"
    if command == "group":
        x11.XkbLockGroup(display, USE_CORE_KBD, int(argv[2]))
    elif command in ("caps", "numlock"):
        mask = LOCK_MASK if command == "caps" else MOD2_MASK
        x11.XkbLockModifiers(display, USE_CORE_KBD, mask, mask if argv[2] == "on" else 0)
    state = XkbState()
    x11.XkbGetState(display, USE_CORE_KBD, ctypes.byref(state))
    x11.XSync(display, 0)
    if command == "show":
        print("group=%d locked_mods=%d latched_mods=%d"
              % (state.group, state.locked_mods, state.latched_mods))
    x11.XCloseDisplay(display)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
