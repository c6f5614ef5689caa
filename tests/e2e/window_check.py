#!/usr/bin/env python3
"""Checks a screenshot of the game window (an XWD file from xwd) against a scene sheet:
the sheet rectangle LEFT,TOP,RIGHT,BOTTOM must appear at game position X,Y, scaled by
SCALE, in every sampled pixel that the sheet does not key out (a few may be covered).
In a window larger than the picture (full screen), the picture starts at window pixel
OX,OY, with borders as wide on the far sides, which must be black.

    window_check.py SHOT.xwd SHEET.bmp KEY SCALE LEFT TOP RIGHT BOTTOM X Y [MIN_SHARE [OX OY]]
"""
import struct
import sys


def read_xwd(path):
    data = open(path, "rb").read()
    f = struct.unpack(">25I", data[:100])
    header_size, bpp, bytes_per_line = f[0], f[11], f[12]
    width, height, ncolors, byte_order = f[4], f[5], f[19], f[7]
    masks = f[14], f[15], f[16]
    if bpp != 32:
        sys.exit("screenshot has %d bits per pixel, expected 32" % bpp)
    start = header_size + 12 * ncolors
    fmt = "<I" if byte_order == 0 else ">I"

    def pixel(x, y):
        (v,) = struct.unpack_from(fmt, data, start + y * bytes_per_line + 4 * x)
        out = []
        for m in masks:
            shift = (m & -m).bit_length() - 1
            out.append((v & m) >> shift)
        return tuple(out)

    return width, height, pixel


def read_bmp(path):
    data = open(path, "rb").read()
    width, height = struct.unpack_from("<ii", data, 18)
    palette = [(data[54 + 4 * i + 2], data[54 + 4 * i + 1], data[54 + 4 * i]) for i in range(256)]

    def index(x, y):
        return data[1078 + (height - 1 - y) * width + x]

    return palette, index


def main():
    a = sys.argv[1:]
    if len(a) < 10:
        sys.exit(__doc__)
    shot, sheet, key, scale = a[0], a[1], int(a[2]), int(a[3])
    left, top, right, bottom, x0, y0 = map(int, a[4:10])
    min_share = float(a[10]) if len(a) > 10 else 0.9
    ox, oy = (int(a[11]), int(a[12])) if len(a) > 12 else (0, 0)
    width, height, pixel = read_xwd(shot)
    if width != 640 * scale + 2 * ox or height != 480 * scale + 2 * oy:
        sys.exit("window is %dx%d, expected %dx%d" % (width, height, 640 * scale + 2 * ox, 480 * scale + 2 * oy))
    for bx, by in ((0, 0), (width - 1, 0), (0, height - 1), (width - 1, height - 1)):
        if (ox or oy) and pixel(bx, by) != (0, 0, 0):
            sys.exit("border pixel (%d,%d) is %s, not black" % (bx, by, pixel(bx, by)))
    palette, index = read_bmp(sheet)
    tried = matched = 0
    step = max(1, min(right - left, bottom - top) // 12)
    for sy in range(top, bottom, step):
        for sx in range(left, right, step):
            i = index(sx, sy)
            if i == key:
                continue
            tried += 1
            # The middle of the scaled pixel, so that any whole-number scaling is judged fairly.
            wx = ox + (x0 + sx - left) * scale + scale // 2
            wy = oy + (y0 + sy - top) * scale + scale // 2
            if pixel(wx, wy) == palette[i]:
                matched += 1
    share = matched / tried if tried else 0
    print("%s: %d of %d sampled pixels of (%d,%d,%d,%d) at (%d,%d) match" % (shot, matched, tried, left, top, right, bottom, x0, y0))
    sys.exit(0 if tried and share >= min_share else 1)


main()
