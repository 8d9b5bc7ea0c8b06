#!/usr/bin/env python3
"""Looks at one rectangle of a screenshot.

  screen_probe.py count PNG X Y W H R,G,B [TOLERANCE]
      pixels whose every channel lies within TOLERANCE (default 0) of R,G,B
  screen_probe.py grey-centre PNG X Y W H
      the middle row (screen y) of the silver-grey pixels, the paddle's
      colours; -1 when there are fewer than 200 of them
"""
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


def main(argv):
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
