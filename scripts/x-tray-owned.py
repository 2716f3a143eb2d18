#!/usr/bin/env python3
# Exit 0 when the X display in $DISPLAY has a system tray: an owner of the
# _NET_SYSTEM_TRAY_S<screen> selection. A tray host's window can exist some
# time before it takes the selection.
import ctypes
import ctypes.util
import sys

x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XDefaultScreen.argtypes = [ctypes.c_void_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XGetSelectionOwner.restype = ctypes.c_ulong
x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x.XCloseDisplay.argtypes = [ctypes.c_void_p]
d = x.XOpenDisplay(None)
if not d:
    sys.exit(1)
atom = x.XInternAtom(d, b"_NET_SYSTEM_TRAY_S%d" % x.XDefaultScreen(d), 0)
owned = x.XGetSelectionOwner(d, atom) != 0
x.XCloseDisplay(d)
sys.exit(0 if owned else 1)
