#!/usr/bin/env python3
"""Hostile clients for the board's tests and its attack load: each talks to a server on
loopback, is bounded in bytes and time, and prints one line of what it saw.

   board_attack.py ranges URL PATH COUNT        many ranges of one file in one request
   board_attack.py headers URL COUNT SIZE       COUNT headers of SIZE bytes
   board_attack.py chunked URL BYTES            a chunked body of BYTES to POST /api/runs
   board_attack.py unframed URL BYTES           a POST body with no length at all
   board_attack.py slow URL COUNT SECONDS SOURCE  COUNT connections from SOURCE, each
                                                sending a header line every second
   board_attack.py slowbody URL SOURCE          a body promised and sent a byte a second
   board_attack.py fakeboard PORTFILE           a board that answers with control bytes
 and for the attack load (board/bench/board_attack_load.sh), each for SECONDS:
   board_attack.py hog URL SOURCE SECONDS PARALLEL FILE...   costly replays, back to back
   board_attack.py genuine URL SOURCE SECONDS INTERVAL FILE... a player's rounds, timed
   board_attack.py rangeloop URL PATH SECONDS COUNT          a many-range request a second
   board_attack.py slowload URL COUNT SECONDS SOURCE         COUNT slow connections kept up
"""
import collections
import http.server
import socket
import sys
import threading
import time
import urllib.parse


def address(url):
    u = urllib.parse.urlsplit(url)
    return u.hostname, u.port


def connect(url, source=None, timeout=30):
    s = socket.create_connection(address(url), timeout=timeout,
                                 source_address=(source, 0) if source else None)
    return s


def read_answer(s, limit=1 << 31):
    """The status and the number of bytes of the whole answer (head and body)."""
    data = b''
    total = 0
    status = 0
    try:
        while True:
            chunk = s.recv(1 << 16)
            if not chunk:
                break
            if not status:
                data += chunk
                if b' ' in data[:16]:
                    status = int(data.split(b' ')[1][:3])
            total += len(chunk)
            if total > limit:
                break
    except (ConnectionResetError, socket.timeout):
        pass
    return status, total


def send_until_closed(s, blocks, deadline):
    """Sends blocks until the server stops taking them; the bytes it took."""
    sent = 0
    for block in blocks:
        if time.time() > deadline:
            break
        try:
            s.sendall(block)
        except (BrokenPipeError, ConnectionResetError, socket.timeout):
            break
        sent += len(block)
    return sent


def ranges(url, path, count):
    s = connect(url)
    spec = ','.join('0-' for _ in range(count))
    s.sendall(('GET %s HTTP/1.1\r\nHost: x\r\nRange: bytes=%s\r\nConnection: close\r\n\r\n'
               % (path, spec)).encode())
    status, total = read_answer(s)
    print('status %d bytes %d' % (status, total))


def headers(url, count, size):
    s = connect(url)
    s.settimeout(10)
    head = b'GET /api/boards HTTP/1.1\r\nHost: x\r\n'
    line = b'X-Filler: ' + b'a' * size + b'\r\n'
    deadline = time.time() + 20
    sent = send_until_closed(s, [head] + [line] * count + [b'\r\n'], deadline)
    status, _ = read_answer(s)
    print('status %d sent %d of %d' % (status, sent, len(head) + len(line) * count + 2))


def chunked(url, total):
    s = connect(url)
    s.settimeout(10)
    head = (b'POST /api/runs?name=Big HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n'
            b'Content-Type: application/octet-stream\r\n\r\n')
    block = 1 << 16
    chunk = b'%x\r\n' % block + b'z' * block + b'\r\n'
    deadline = time.time() + 30
    sent = send_until_closed(s, [head] + [chunk] * (total // block) + [b'0\r\n\r\n'], deadline)
    status, _ = read_answer(s)
    print('status %d sent %d of %d' % (status, sent, total))


def unframed(url, total):
    s = connect(url)
    s.settimeout(10)
    head = b'POST /api/runs?name=Big HTTP/1.1\r\nHost: x\r\nContent-Type: application/octet-stream\r\n\r\n'
    block = b'z' * (1 << 16)
    start = time.time()
    sent = send_until_closed(s, [head] + [block] * (total // len(block)), start + 30)
    try:
        s.shutdown(socket.SHUT_WR)
    except OSError:
        pass
    status, _ = read_answer(s)
    print('status %d sent %d of %d in %.1f s' % (status, sent, total, time.time() - start))


def slow(url, count, seconds, source):
    """Opens COUNT connections at once, then trickles a header line on each every
    second for SECONDS. Prints how many were turned away at once (429), and how many the
    server still held open at the end."""
    conns = []
    turned = 0
    for _ in range(count):
        try:
            s = connect(url, source, timeout=5)
            s.sendall(b'GET /api/boards HTTP/1.1\r\nHost: x\r\n')
            conns.append(s)
        except OSError:
            turned += 1
    end = time.time() + seconds
    open_ones = list(conns)
    closed_after = []
    start = time.time()
    while time.time() < end and open_ones:
        time.sleep(1)
        still = []
        for s in open_ones:
            try:
                s.setblocking(False)
                try:
                    data = s.recv(4096)
                    if data.startswith(b'HTTP/1.1 429'):
                        turned += 1
                        s.close()
                        continue
                    if data.startswith(b'HTTP/1.1 408') or not data:
                        closed_after.append(time.time() - start)
                        s.close()
                        continue
                except BlockingIOError:
                    pass
                s.setblocking(True)
                s.sendall(b'X-Slow: 1\r\n')
                still.append(s)
            except OSError:
                closed_after.append(time.time() - start)
        open_ones = still
    for s in open_ones:
        s.close()
    longest = max(closed_after) if closed_after else 0
    print('turned %d closed %d held %d longest %.1f' % (turned, len(closed_after), len(open_ones), longest))


def slowbody(url, source):
    s = connect(url, source, timeout=30)
    s.sendall(b'POST /api/runs?name=Slow HTTP/1.1\r\nHost: x\r\nContent-Length: 1000\r\n\r\n')
    start = time.time()
    s.setblocking(False)
    status = 0
    while time.time() - start < 60:
        try:
            data = s.recv(4096)
            if data:
                status = int(data.split(b' ')[1][:3])
            break
        except BlockingIOError:
            pass
        try:
            s.send(b'z')
        except OSError:
            break
        time.sleep(1)
    print('status %d after %.1f s' % (status, time.time() - start))


def fakeboard(portfile):
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            self.rfile.read(int(self.headers.get('Content-Length', '0')))
            body = b'{"error":"\x1b[2J\x1b]0;pwned\x07 bell\x07 \xff\xfe nul\x00 cr\r end"}'
            self.send_response(422)
            self.send_header('Content-Length', str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    server = http.server.HTTPServer(('127.0.0.1', 0), Handler)
    with open(portfile, 'w') as f:
        f.write(str(server.server_address[1]))
    threading.Timer(60, server.shutdown).start()
    server.serve_forever()


def post_file(url, source, name, body, timeout=60):
    s = connect(url, source, timeout=timeout)
    s.sendall(('POST /api/runs?name=%s HTTP/1.1\r\nHost: %s\r\nConnection: close\r\n'
               'Content-Type: application/octet-stream\r\nContent-Length: %d\r\n\r\n'
               % (name, urllib.parse.urlsplit(url).netloc, len(body))).encode() + body)
    status, _ = read_answer(s)
    s.close()
    return status


def hog(url, source, seconds, parallel, files):
    bodies = [open(f, 'rb').read() for f in files]
    counts = collections.Counter()
    end = time.time() + seconds
    lock = threading.Lock()
    turn = [0]

    def loop():
        while time.time() < end:
            with lock:
                body = bodies[turn[0] % len(bodies)]
                turn[0] += 1
            try:
                status = post_file(url, source, 'Hog', body)
            except OSError:
                status = 0
            with lock:
                counts[status] += 1

    threads = [threading.Thread(target=loop) for _ in range(parallel)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    print('hog: ' + ' '.join('%s:%d' % kv for kv in sorted(counts.items())))


def genuine(url, source, seconds, interval, files):
    times = []
    statuses = collections.Counter()
    end = time.time() + seconds
    i = 0
    while time.time() < end and i < len(files):
        body = open(files[i], 'rb').read()
        i += 1
        start = time.time()
        try:
            # A name each: a name is its first run's player's (later ones need its key).
            status = post_file(url, source, 'Player%d' % i, body)
        except OSError:
            status = 0
        times.append((time.time() - start) * 1000)
        statuses[status] += 1
        time.sleep(max(0.0, interval - (time.time() - start)))
    times.sort()
    print('genuine: %d submissions, %s, p50 %.0f ms, max %.0f ms' % (
        len(times), ' '.join('%s:%d' % kv for kv in sorted(statuses.items())),
        times[len(times) // 2] if times else 0, times[-1] if times else 0))


def rangeloop(url, path, seconds, count):
    end = time.time() + seconds
    most = 0
    n = 0
    spec = ','.join('0-' for _ in range(count))
    while time.time() < end:
        start = time.time()
        s = connect(url)
        s.sendall(('GET %s HTTP/1.1\r\nHost: x\r\nRange: bytes=%s\r\nConnection: close\r\n\r\n'
                   % (path, spec)).encode())
        _, total = read_answer(s)
        s.close()
        most = max(most, total)
        n += 1
        time.sleep(max(0.0, 1 - (time.time() - start)))
    print('ranges: %d requests of %d ranges, largest answer %d bytes' % (n, count, most))


def slowload(url, count, seconds, source):
    """Keeps COUNT connections trickling a header line a second, opening a new one for
    each the server closes or turns away."""
    end = time.time() + seconds
    conns = []
    opened = turned = closed = 0
    while time.time() < end:
        while len(conns) < count:
            try:
                s = connect(url, source, timeout=2)
                s.sendall(b'GET /api/boards HTTP/1.1\r\nHost: x\r\n')
                s.setblocking(False)
                conns.append(s)
                opened += 1
            except OSError:
                turned += 1
                break
        time.sleep(1)
        still = []
        for s in conns:
            try:
                try:
                    data = s.recv(4096)
                    if data.startswith(b'HTTP/1.1 429'):
                        turned += 1
                    else:
                        closed += 1
                    s.close()
                    continue
                except BlockingIOError:
                    pass
                s.send(b'X-Slow: 1\r\n')
                still.append(s)
            except OSError:
                closed += 1
                s.close()
        conns = still
    for s in conns:
        s.close()
    print('slow: %d connections opened, %d turned away, %d closed at the deadline' % (opened, turned, closed))


if __name__ == '__main__':
    what, args = sys.argv[1], sys.argv[2:]
    if what == 'ranges':
        ranges(args[0], args[1], int(args[2]))
    elif what == 'headers':
        headers(args[0], int(args[1]), int(args[2]))
    elif what == 'chunked':
        chunked(args[0], int(args[1]))
    elif what == 'unframed':
        unframed(args[0], int(args[1]))
    elif what == 'slow':
        slow(args[0], int(args[1]), float(args[2]), args[3])
    elif what == 'slowbody':
        slowbody(args[0], args[1])
    elif what == 'fakeboard':
        fakeboard(args[0])
    elif what == 'hog':
        hog(args[0], args[1], float(args[2]), int(args[3]), args[4:])
    elif what == 'genuine':
        genuine(args[0], args[1], float(args[2]), float(args[3]), args[4:])
    elif what == 'rangeloop':
        rangeloop(args[0], args[1], float(args[2]), int(args[3]))
    elif what == 'slowload':
        slowload(args[0], int(args[1]), float(args[2]), args[3])
    else:
        sys.exit('unknown attack ' + what)
