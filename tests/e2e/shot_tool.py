#!/usr/bin/env python3
"""Screenshots of the game window (XWD files from xwd) against the game's own shots
(PNG files of 640x480 RGB, as `shot` writes them).

    shot_tool.py png SHOT.xwd OUT.png [X Y W H]
        writes the window's pixels (or a part of them) as a PNG
    shot_tool.py same SHOT.xwd GAME.png SCALE OX OY
        exit 0 when the window shows GAME.png scaled by SCALE from window pixel (OX, OY),
        every pixel; else prints how many differ, and where the first does
    shot_tool.py differ SHOT.xwd GAME.png SCALE OX OY TOP BOTTOM
        prints the number of the picture's pixels that differ in game rows TOP..BOTTOM-1
    shot_tool.py count SHOT.xwd X0 Y0 X1 Y1 R G B
        prints the number of window pixels of colour (R, G, B) in the rectangle
    shot_tool.py text SHOT.xwd SCALE OX OY X Y TEXT FONT.cpp
        exit 0 when the overlay's TEXT is written in white at game (X, Y): each glyph of
        FONT.cpp's 5x7 table white where it is set and not white where it is not
    shot_tool.py part A.png B.png X0 Y0 X1 Y1
        exit 0 when the two pictures are the same in that rectangle
    shot_tool.py band PLAIN.png CAPTIONED.png TOP ROWS SCALE TEXT FONT.cpp
        exit 0 when the captioned picture is the plain one but in rows TOP..TOP+ROWS-1,
        which differ, and holds TEXT there in white, centred, SCALE times the font's size
"""
import array
import struct
import sys
import zlib


class Xwd:
    """A screenshot's pixels as 32-bit words, with the masks of red, green and blue."""

    def __init__(self, path):
        data = open(path, "rb").read()
        f = struct.unpack(">25I", data[:100])
        header_size, bpp, bytes_per_line = f[0], f[11], f[12]
        self.width, self.height, ncolors, byte_order = f[4], f[5], f[19], f[7]
        if bpp != 32:
            sys.exit("screenshot has %d bits per pixel, expected 32" % bpp)
        start = header_size + 12 * ncolors
        self.words = array.array("I", data[start:start + self.height * bytes_per_line])
        if (byte_order == 0) != (sys.byteorder == "little"):
            self.words.byteswap()
        self.stride = bytes_per_line // 4
        self.shifts = [(m & -m).bit_length() - 1 for m in f[14:17]]
        self.colour_mask = f[14] | f[15] | f[16]

    def word(self, rgb):
        return sum(c << s for c, s in zip(rgb, self.shifts))

    def rgb(self, x, y):
        v = self.words[y * self.stride + x]
        return tuple((v >> s) & 0xFF for s in self.shifts)

    def rows(self, x, y, w, h):
        return [[self.rgb(x + i, y + j) for i in range(w)] for j in range(h)]


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit("%s is not a PNG" % path)
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        kind = data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            if depth != 8 or colour != 2:
                sys.exit("%s: only 8-bit RGB PNGs are read" % path)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 3
    rows, prev, i = [], bytearray(stride), 0
    for _ in range(height):
        kind = raw[i]
        line = bytearray(raw[i + 1:i + 1 + stride])
        i += 1 + stride
        for x in range(stride):
            a = line[x - 3] if x >= 3 else 0
            b = prev[x]
            c = prev[x - 3] if x >= 3 else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[3 * x:3 * x + 3]) for x in range(width)])
        prev = line
    return width, height, rows


def write_png(path, rows):
    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    out += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    open(path, "wb").write(out)


def differing(shot, game, scale, ox, oy, top, bottom):
    """The shot's pixels in game rows top..bottom-1 that are not the game's, scaled."""
    _, _, grows = game
    count, first = 0, None
    for y in range(top, bottom):
        want = array.array("I", (shot.word(grows[y][x]) for x in range(640) for _ in range(scale)))
        for dy in range(scale):
            at = (oy + y * scale + dy) * shot.stride + ox
            got = shot.words[at:at + 640 * scale]
            if got == want:
                continue
            for i in range(640 * scale):
                if got[i] & shot.colour_mask != want[i]:
                    count += 1
                    if first is None:
                        first = (i // scale, y, shot.rgb(ox + i, oy + y * scale + dy), grows[y][i // scale])
    return count, first


def glyphs(path):
    """The overlay's font: 95 rows of seven bytes, space to tilde, from its C++ table."""
    import re
    body = open(path).read().split("kGlyphs[95][7] = {", 1)[1].split("\n};", 1)[0]
    rows = re.findall(r"\{(0x[^}]*)\}", re.sub(r"//[^\n]*", "", body))
    return [[int(v, 16) for v in row.split(",")] for row in rows]


def text_at(shot, scale, ox, oy, x, y, text, font):
    """The first pixel of TEXT that is not as the font draws it, or None."""
    table = glyphs(font)
    white = (255, 255, 255)
    for n, ch in enumerate(text):
        rows = table[ord(ch) - 32]
        for r in range(7):
            for c in range(5):
                gx, gy = x + 6 * n + c, y + r
                got = shot.rgb(ox + gx * scale, oy + gy * scale)
                if (got == white) != bool(rows[r] & (0x10 >> c)):
                    return (ch, gx, gy, got)
    return None


def main():
    a = sys.argv[1:]
    if not a:
        sys.exit(__doc__)
    if a[0] == "png":
        shot = Xwd(a[1])
        x, y, cw, ch = (int(v) for v in a[3:7]) if len(a) >= 7 else (0, 0, shot.width, shot.height)
        write_png(a[2], shot.rows(x, y, cw, ch))
    elif a[0] == "same":
        count, first = differing(Xwd(a[1]), read_png(a[2]), *(int(v) for v in a[3:6]), 0, 480)
        if count:
            print("%d pixels differ; the first at game (%d, %d): %s, not %s" % ((count,) + first))
            sys.exit(1)
    elif a[0] == "differ":
        count, _ = differing(Xwd(a[1]), read_png(a[2]), *(int(v) for v in a[3:8]))
        print(count)
    elif a[0] == "count":
        shot = Xwd(a[1])
        x0, y0, x1, y1, r, g, b = (int(v) for v in a[2:9])
        print(sum(1 for y in range(y0, y1) for x in range(x0, x1) if shot.rgb(x, y) == (r, g, b)))
    elif a[0] == "text":
        shot = Xwd(a[1])
        scale, ox, oy, x, y = (int(v) for v in a[2:7])
        wrong = text_at(shot, scale, ox, oy, x, y, a[7], a[8])
        if wrong:
            print("'%s' at game (%d, %d) is %s" % wrong)
            sys.exit(1)
    elif a[0] == "part":
        (_, _, ra), (_, _, rb) = read_png(a[1]), read_png(a[2])
        x0, y0, x1, y1 = (int(v) for v in a[3:7])
        wrong = [(x, y) for y in range(y0, y1) for x in range(x0, x1) if ra[y][x] != rb[y][x]]
        if wrong:
            print("%d pixels differ, the first at %s" % (len(wrong), wrong[0]))
            sys.exit(1)
    elif a[0] == "band":
        (w, h, plain), (_, _, cap) = read_png(a[1]), read_png(a[2])
        top, rows, scale, text, table = int(a[3]), int(a[4]), int(a[5]), a[6], glyphs(a[7])
        outside = [y for y in range(h) if (y < top or y >= top + rows) and plain[y] != cap[y]]
        inside = [y for y in range(top, top + rows) if plain[y] != cap[y]]
        if outside or len(inside) != rows:
            print("rows outside the band that differ: %s; band rows that differ: %d of %d" %
                  (outside[:5], len(inside), rows))
            sys.exit(1)
        x0, y0 = (w - len(text) * 6 * scale) // 2, top + (rows - 7 * scale) // 2
        for n, ch in enumerate(text):
            for r in range(7):
                for c in range(5):
                    x, y = x0 + (6 * n + c) * scale, y0 + r * scale
                    if (cap[y][x] == (255, 255, 255)) != bool(table[ord(ch) - 32][r] & (0x10 >> c)):
                        print("'%s' is not written at (%d, %d): %s" % (ch, x, y, cap[y][x]))
                        sys.exit(1)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
