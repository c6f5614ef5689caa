"""Follows a room's live link as a page would (RFC 6455, by hand: the tests need no
WebSocket package): writes each text message to OUT, one a line, and ends when one holds
UNTIL (exit 0), when the board closes (exit 3, "closed CODE REASON" the last line) or after a
minute without a message. The handshake's status line is OUT's first line; anything but
101 ends with exit 1. With BYTES, it first sends a message of that many bytes.

usage: room_follower.py ws://HOST:PORT/api/rooms/ID/live OUT UNTIL [BYTES]
"""
import base64
import os
import socket
import struct
import sys
from urllib.parse import urlsplit

url, out_path, until = sys.argv[1], sys.argv[2], sys.argv[3]
parts = urlsplit(url)
sock = socket.create_connection((parts.hostname, parts.port), timeout=60)
key = base64.b64encode(os.urandom(16)).decode()
sock.sendall((f"GET {parts.path} HTTP/1.1\r\nHost: {parts.hostname}:{parts.port}\r\n"
              f"Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
              "Sec-WebSocket-Version: 13\r\n\r\n").encode())
buf = b""


def need(n):
    global buf
    while len(buf) < n:
        chunk = sock.recv(65536)
        if not chunk:
            raise EOFError
        buf += chunk


def send(opcode, payload):
    mask = os.urandom(4)
    masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
    size = len(payload)
    head = bytes([0x80 | opcode, 0x80 | size]) if size < 126 else bytes([0x80 | opcode, 0xFE]) + struct.pack(">H", size)
    sock.sendall(head + mask + masked)


with open(out_path, "w") as out:
    while b"\r\n\r\n" not in buf:
        need(len(buf) + 1)
    head, buf = buf.split(b"\r\n\r\n", 1)
    status = head.split(b"\r\n")[0].decode()
    out.write(status + "\n")
    out.flush()
    if " 101 " not in status:
        sys.exit(1)
    if len(sys.argv) > 4:
        send(1, b"x" * int(sys.argv[4]))
    try:
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
            if opcode == 9:
                send(10, payload)
            elif opcode == 8:
                code = struct.unpack(">H", payload[:2])[0] if len(payload) >= 2 else 0
                out.write(f"closed {code} {payload[2:].decode()}".strip() + "\n")
                sys.exit(3)
            elif opcode == 1:
                text = payload.decode()
                out.write(text + "\n")
                out.flush()
                if until in text:
                    send(8, struct.pack(">H", 1000))
                    sys.exit(0)
    except (EOFError, socket.timeout):
        sys.exit(3)
