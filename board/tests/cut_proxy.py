"""A TCP proxy whose connections a test can cut: listens on 127.0.0.1 (a free port,
written to PORT_FILE), passes each connection on to TARGET_PORT on 127.0.0.1 (from
FROM_ADDRESS, so that the board sees a racer of an address of its own), and on SIGUSR1
drops every connection it holds at once, as a network that fails would, while new
connections go on being passed. Ends on SIGTERM.

usage: cut_proxy.py TARGET_PORT FROM_ADDRESS PORT_FILE
"""
import selectors
import signal
import socket
import sys

target, source, port_file = int(sys.argv[1]), sys.argv[2], sys.argv[3]
listener = socket.create_server(("127.0.0.1", 0))
listener.setblocking(False)
with open(port_file + ".tmp", "w") as f:
    f.write(str(listener.getsockname()[1]))
import os  # noqa: E402
os.rename(port_file + ".tmp", port_file)

sel = selectors.DefaultSelector()
sel.register(listener, selectors.EVENT_READ)
pairs = {}  # each socket -> its other end
cut = False


def on_cut(*_):
    global cut
    cut = True


signal.signal(signal.SIGUSR1, on_cut)


def drop(s):
    other = pairs.pop(s, None)
    for end in (s, other):
        if end is None:
            continue
        pairs.pop(end, None)
        try:
            sel.unregister(end)
        except (KeyError, ValueError):
            pass
        end.close()


while True:
    if cut:
        cut = False
        for s in list(pairs):
            if s in pairs:
                # A reset, not a polite close: the far ends see the link fail.
                s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
                drop(s)
    for key, _ in sel.select(timeout=0.2):
        s = key.fileobj
        if s is listener:
            client, _ = listener.accept()
            try:
                upstream = socket.create_connection(("127.0.0.1", target), timeout=10,
                                                    source_address=(source, 0))
            except OSError:
                client.close()
                continue
            for end in (client, upstream):
                end.setblocking(False)
                sel.register(end, selectors.EVENT_READ)
            pairs[client], pairs[upstream] = upstream, client
            continue
        if s not in pairs:
            continue
        try:
            data = s.recv(65536)
        except (BlockingIOError, InterruptedError):
            continue
        except OSError:
            data = b""
        if not data:
            drop(s)
            continue
        try:
            pairs[s].setblocking(True)
            pairs[s].sendall(data)
            pairs[s].setblocking(False)
        except OSError:
            drop(s)
