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
import subprocess
import sys


def read_region(png, x, y, w, h):
    ppm = subprocess.run(["convert", png, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-depth", "8", "ppm:-"],
                         check=True, capture_output=True).stdout
    fields, at = [], 0
    while len(fields) < 4:
        while ppm[at:at + 1].isspace():
            at += 1
        start = at
        while not ppm[at:at + 1].isspace():
            at += 1
        fields.append(ppm[start:at])
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise ValueError("unexpected image format")
    width, height = int(fields[1]), int(fields[2])
    return width, height, ppm[at + 1:at + 1 + 3 * width * height]


def pixels(png, x, y, w, h):
    width, height, data = read_region(png, x, y, w, h)
    for row in range(height):
        for column in range(width):
            at = 3 * (row * width + column)
            yield x + column, y + row, data[at], data[at + 1], data[at + 2]


def count(png, x, y, w, h, colour, tolerance=0):
    r0, g0, b0 = colour
    return sum(1 for _, _, r, g, b in pixels(png, x, y, w, h)
               if abs(r - r0) <= tolerance and abs(g - g0) <= tolerance and abs(b - b0) <= tolerance)


def grey_centre(png, x, y, w, h):
    rows = sorted(py for _, py, r, g, b in pixels(png, x, y, w, h)
                  if min(r, g, b) >= 90 and max(r, g, b) - min(r, g, b) <= 24)
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
    command, png = argv[1], argv[2]
    x, y, w, h = (int(v) for v in argv[3:7])
    if command == "count":
        colour = tuple(int(v) for v in argv[7].split(","))
        tolerance = int(argv[8]) if len(argv) > 8 else 0
        print(count(png, x, y, w, h, colour, tolerance))
    elif command == "grey-centre":
        print(grey_centre(png, x, y, w, h))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
