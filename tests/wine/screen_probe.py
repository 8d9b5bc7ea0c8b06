#!/usr/bin/env python3
"""Looks at one rectangle of a screenshot, or at the pointer.

  screen_probe.py cursor
      "hidden" when the pointer's cursor on $DISPLAY has no visible pixel,
      else "shown" (read with the X fixes extension)
  screen_probe.py count PNG X Y W H R,G,B [TOLERANCE]
      pixels whose every channel lies within TOLERANCE (default 0) of R,G,B
  screen_probe.py grey-centre PNG X Y W H
      the middle row (screen y) of the silver-grey pixels, the paddle's
      colours; -1 when there are fewer than 200 of them
"""
import ctypes
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from zarvo_e2e import Shot  # noqa: E402


def silver_grey(pixel):
    return min(pixel) >= 90 and max(pixel) - min(pixel) <= 24


def grey_centre(shot, box):
    left, top, width, height = box
    rows = sorted(y for y in range(top, top + height) for x in range(left, left + width)
                  if silver_grey(shot.pixel(x, y)))
    return rows[len(rows) // 2] if len(rows) >= 200 else -1


class CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                ("height", ctypes.c_ushort), ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


def cursor():
    x11 = ctypes.CDLL("libX11.so.6")
    xfixes = ctypes.CDLL("libXfixes.so.3")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XFree.argtypes = [ctypes.c_void_p]
    xfixes.XFixesQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                            ctypes.POINTER(ctypes.c_int)]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(CursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    if not display:
        sys.exit("cannot open the display")
    try:
        event_base, error_base = ctypes.c_int(), ctypes.c_int()
        if not xfixes.XFixesQueryExtension(display, ctypes.byref(event_base), ctypes.byref(error_base)):
            sys.exit("the X server lacks the X fixes extension")
        image = xfixes.XFixesGetCursorImage(display)
        if not image:
            sys.exit("no cursor image")
        shape = image.contents
        # Pixels are ARGB, one to an unsigned long.
        visible = any(shape.pixels[i] >> 24 for i in range(shape.width * shape.height))
        x11.XFree(image)
    finally:
        x11.XCloseDisplay(display)
    return "shown" if visible else "hidden"


def main(argv):
    if argv[1:] == ["cursor"]:
        print(cursor())
        return
    if len(argv) < 7:
        sys.exit(__doc__)
    command, shot = argv[1], Shot.read(argv[2])
    box = tuple(int(v) for v in argv[3:7])
    if command == "count":
        colour = tuple(int(v) for v in argv[7].split(","))
        tolerance = int(argv[8]) if len(argv) > 8 else 0
        print(shot.count_near(colour, tolerance, box))
    elif command == "grey-centre":
        print(grey_centre(shot, box))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
