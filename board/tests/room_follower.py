"""Follows a room's live link as a page would (RFC 6455, by hand: the tests need no
WebSocket package): writes each text message to OUT, one a line, and ends when one holds
UNTIL (exit 0), when the board closes (exit 3, "closed CODE REASON" the last line) or after a
minute without a message. The handshake's status line is OUT's first line; anything but
101 ends with exit 1. With BYTES, it first sends a message of that many bytes.

As a racer (the link with ?racer=PASS), it also sends a round's records as the game would
while playing it (docs/rooms.md): --race REPLAY streams the replay's frames in real time
from the connection on, each frame once its slot has passed, then the end; --fast REPLAY
SEED sends the header (on SEED), the frames and ten minutes of idle frames at once;
--records FILE (a spectator's link, ?watch=NAME) keeps each binary message in FILE
(its length as 4 bytes, big-endian, then its bytes) and ends (exit 0) after the `e`
record; --say TEXT... sends each TEXT as a text message ({"ready":true}, say); --resume REPLAY
streams half the round as --race does, drops the connection, connects again and, told by
the board where it is ({"resume":{"bytes":N}}, after the first state), streams the rest
from frame byte N on (exit 4 when the board does not say so).

usage: room_follower.py ws://HOST:PORT/api/rooms/ID/live[?racer=PASS] OUT UNTIL
       [BYTES | --race REPLAY | --resume REPLAY | --fast REPLAY SEED | --records FILE |
        --say TEXT...]
"""
import base64
import os
import socket
import struct
import sys
import threading
import time
from urllib.parse import urlsplit

from replay_frames import frame_ends

url, out_path, until = sys.argv[1], sys.argv[2], sys.argv[3]
parts = urlsplit(url)
sock, buf = None, b""


def connect():
    """A new connection and its handshake sent; what was read before is dropped."""
    global sock, buf
    # ROOM_FROM: the address to connect from (a second racer's own).
    sock = socket.create_connection((parts.hostname, parts.port), timeout=60,
                                    source_address=(os.environ.get("ROOM_FROM", ""), 0))
    buf = b""
    key = base64.b64encode(os.urandom(16)).decode()
    target = parts.path + (f"?{parts.query}" if parts.query else "")
    sock.sendall((f"GET {target} HTTP/1.1\r\nHost: {parts.hostname}:{parts.port}\r\n"
                  f"Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                  "Sec-WebSocket-Version: 13\r\n\r\n").encode())


connect()


def need(n):
    global buf
    while len(buf) < n:
        chunk = sock.recv(65536)
        if not chunk:
            raise EOFError
        buf += chunk


sending = threading.Lock()


def send(opcode, payload):
    mask = os.urandom(4)
    masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
    size = len(payload)
    head = bytes([0x80 | opcode, 0x80 | size]) if size < 126 else bytes([0x80 | opcode, 0xFE]) + struct.pack(">H", size)
    with sending:
        sock.sendall(head + mask + masked)


def stream(path, seed=None, upto=None, began=None, sent=0):
    """A racer's records: the header as the round began, the frames, the end. With UPTO,
    the frames up to that many and no more; with BEGAN, the frames from byte SENT on (a
    round resumed), in time from that start."""
    data = open(path, "rb").read()
    size = struct.unpack_from("<I", data, 56)[0]
    start = bytearray(data[:68])
    struct.pack_into("<IIII", start, 48, 0xFFFFFFFF, 0, 0, 0)
    if seed is not None:
        struct.pack_into("<I", start, 32, seed)
    if began is None:
        send(2, b"h" + bytes(start))
    frames = data[68:68 + size]
    if seed is not None:
        send(2, b"f" + frames + b"\xff" * 282)
        return
    began = time.monotonic() if began is None else began
    for end, n in frame_ends(frames):
        if upto is not None and n > upto:
            return began
        if end <= sent:
            continue
        wait = began + n / 60 - time.monotonic()
        if wait > 0:
            time.sleep(wait)
        send(2, b"f" + frames[sent:end])
        sent = end
    send(2, b"e" + data[:68] + data[68 + size:])


def read_message():
    """The next message: (opcode, payload); pings answered."""
    global buf
    while True:
        need(2)
        opcode, length, at = buf[0] & 15, buf[1] & 127, 2
        if length == 126:
            need(4)
            length, at = struct.unpack(">H", buf[2:4])[0], 4
        elif length == 127:
            need(10)
            length, at = struct.unpack(">Q", buf[2:10])[0], 10
        need(at + length)
        payload, buf = buf[at:at + length], buf[at + length:]
        if opcode != 9:
            return opcode, payload
        send(10, payload)


def handshake(out):
    """The status line of the answer, written to OUT; exits unless 101."""
    global buf
    while b"\r\n\r\n" not in buf:
        need(len(buf) + 1)
    head, buf = buf.split(b"\r\n\r\n", 1)
    status = head.split(b"\r\n")[0].decode()
    out.write(status + "\n")
    out.flush()
    if " 101 " not in status:
        sys.exit(1)


def resume(path, out):
    """Half the round streamed, the connection dropped without a word, a new one: after
    its first state the board says where to go on from, and the rest goes from there."""
    frames = struct.unpack_from("<I", open(path, "rb").read(), 52)[0]
    began = stream(path, upto=frames // 2)
    sock.close()
    connect()
    handshake(out)
    for _ in range(2):
        opcode, payload = read_message()
        out.write(payload.decode() + "\n")
        out.flush()
    if b'"resume"' not in payload:
        sys.exit(4)
    at = int(payload.split(b'"bytes":')[1].split(b"}")[0])
    threading.Thread(target=stream, args=(path,), kwargs={"began": began, "sent": at},
                     daemon=True).start()


with open(out_path, "w") as out:
    handshake(out)
    if len(sys.argv) > 5 and sys.argv[4] == "--race":
        threading.Thread(target=stream, args=(sys.argv[5],), daemon=True).start()
    elif len(sys.argv) > 5 and sys.argv[4] == "--resume":
        resume(sys.argv[5], out)
    elif len(sys.argv) > 6 and sys.argv[4] == "--fast":
        threading.Thread(target=stream, args=(sys.argv[5], int(sys.argv[6])), daemon=True).start()
    elif len(sys.argv) > 4 and sys.argv[4] == "--say":
        for text in sys.argv[5:]:
            send(1, text.encode())
    elif len(sys.argv) > 4 and sys.argv[4] != "--records":
        send(1, b"x" * int(sys.argv[4]))
    records = open(sys.argv[5], "wb") if len(sys.argv) > 5 and sys.argv[4] == "--records" else None
    try:
        while True:
            opcode, payload = read_message()
            if opcode == 8:
                code = struct.unpack(">H", payload[:2])[0] if len(payload) >= 2 else 0
                out.write(f"closed {code} {payload[2:].decode()}".strip() + "\n")
                sys.exit(3)
            elif opcode == 2 and records:
                records.write(struct.pack(">I", len(payload)) + payload)
                records.flush()
                if payload[:1] == b"e":
                    sys.exit(0)
            elif opcode == 1:
                text = payload.decode()
                out.write(text + "\n")
                out.flush()
                if until in text:
                    send(8, struct.pack(">H", 1000))
                    sys.exit(0)
    except (EOFError, socket.timeout):
        sys.exit(3)
