"""Where each coded frame of a replay ends (docs/replay-format.md, "Frames"), for the
tools that cut a round into the records a racer streams: the room tests and the relay
benchmark."""


def varint_end(data, i):
    while data[i] & 0x80:
        i += 1
    return i + 1


def frame_ends(data):
    """(offset after the frame, frames so far) for each coded frame (docs/replay-format.md)."""
    i, n = 0, 0
    while i < len(data):
        h = data[i]
        i += 1
        if h & 0x80:
            n += (h & 0x7F) + 1
            yield i, n
            continue
        if h & 7 == 7:
            i = varint_end(data, i)
        cursor = (h >> 3) & 3
        i = i + 1 if cursor == 1 else varint_end(data, varint_end(data, i)) if cursor == 2 else i
        while h & 0x20:
            t = data[i]
            i += 1
            if t == 0:
                break
            args = {2: 2, 9: 2, 10: 2, 5: 1, 6: 1, 8: 3}.get(t, 0)
            for _ in range(args):
                i = varint_end(data, i)
        n += 1
        yield i, n
