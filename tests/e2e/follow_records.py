#!/usr/bin/env python3
"""A replay as the records `zumble --verify-follow` takes (docs/replay-format.md): the
header as the round began (what a recorder knows then: no frames, time or checksums),
the coded frames in pieces of uneven sizes, some cut inside a frame, then the header as
it ended with the rest of the file. Written to standard output; with --pause, the first
half is written, then it waits for a line on standard input before the rest."""
import struct
import sys


def records(data):
    head = bytearray(data[:68].ljust(68, b"\0"))
    size = struct.unpack_from("<I", head, 56)[0]
    size = min(size, max(len(data) - 68, 0))
    start = bytearray(head)
    struct.pack_into("<IIII", start, 48, 0xFFFFFFFF, 0, 0, 0)  # time, frames, size, checksum
    out = [b"h 68\n" + bytes(start)]
    frames, at, step = data[68:68 + size], 0, 0
    while at < len(frames):
        n = (1, 2, 3, 5, 8, 13, 40)[step % 7]
        out.append(b"f %d\n" % len(frames[at:at + n]) + frames[at:at + n])
        at, step = at + n, step + 1
    tail = bytes(head) + data[68 + size:]
    out.append(b"e %d\n" % len(tail) + tail)
    return out


def main():
    data = open(sys.argv[1], "rb").read()
    parts = records(data)
    out = sys.stdout.buffer
    if "--pause" in sys.argv:
        half = len(parts) // 2
        out.write(b"".join(parts[:half]))
        out.flush()
        sys.stdin.readline()
        parts = parts[half:]
    out.write(b"".join(parts))
    out.flush()


if __name__ == "__main__":
    main()
