#!/usr/bin/env python3
"""Drains the pipe that ALSA's file plugin writes the played sound into, at the rate a
sound card would take it (BYTES_PER_SECOND), until the player closes the device. Prints
"bytes=N sounding=M": the bytes received and how many of them were not zero.

Usage: alsa_sink.py FIFO BYTES_PER_SECOND
"""
import sys
import time


def main():
    fifo, rate = sys.argv[1], int(sys.argv[2])
    total = sounding = 0
    with open(fifo, "rb", buffering=0) as pipe:
        start = time.monotonic()
        while True:
            chunk = pipe.read(4096)
            if not chunk:
                break
            total += len(chunk)
            sounding += len(chunk) - chunk.count(0)
            # A card takes the samples as it plays them; the player waits for it.
            ahead = total / rate - (time.monotonic() - start)
            if ahead > 0:
                time.sleep(ahead)
    print(f"bytes={total} sounding={sounding}")


if __name__ == "__main__":
    main()
