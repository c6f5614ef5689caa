#!/usr/bin/env python3
"""Random requests at a running board: names, ids, modes and limits made of random
bytes (percent-encoded and raw), random methods and bodies. Every answer must be one of
the board's documented statuses with a JSON or HTML body, never a 5xx, and the server
must answer a plain read after each. Prints the statuses seen; exit 1 on a fault.
   board_random_requests.py URL COUNT SEED GOOD_REPLAY"""
import http.client
import random
import sys
import urllib.parse

url, count, seed, good = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
host, port = urllib.parse.urlsplit(url).hostname, urllib.parse.urlsplit(url).port
rng = random.Random(seed)
replay = open(good, 'rb').read()
ALPHABET = b'aZ09 _.-<>&"\'%/\\\t\n\r\x00\x01\x7f\xc3\xa9+=?#;:'


def text(n):
    return bytes(rng.choice(ALPHABET) for _ in range(n))


def piece():
    choice = rng.randrange(6)
    if choice == 0:
        return str(rng.randrange(-5, 2000))
    if choice == 1:
        return rng.choice(['10', '30', '100', '1000', '0', '01', '1e3', '', '99999999999999999999'])
    if choice == 2:
        return urllib.parse.quote_from_bytes(text(rng.randrange(0, 24)), safe='')
    if choice == 3:
        return urllib.parse.quote_from_bytes(text(rng.randrange(0, 8)), safe='/%')
    return str(rng.randrange(1, 5))


def request():
    kind = rng.randrange(5)
    if kind == 0:
        return 'GET', '/api/boards/%s/%s?limit=%s' % (piece(), piece(), piece()), None
    if kind == 1:
        return 'GET', '/api/runs/%s/replay' % piece(), None
    if kind == 2:
        body = rng.choice([replay, replay[:rng.randrange(len(replay))], text(rng.randrange(200)), b''])
        return 'POST', '/api/runs?name=%s' % piece(), body
    if kind == 3:
        # A body length always (a POST without one waits out the read timeout).
        return rng.choice(['GET', 'POST', 'PUT', 'DELETE', 'HEAD']), '/' + piece() + '/' + piece(), b''
    return 'GET', rng.choice(['/', '/api/boards', '/api/boards?limit=' + piece()]), None


allowed = {200, 201, 202, 400, 403, 404, 405, 409, 413, 422, 429}
seen = {}
faults = 0
for i in range(count):
    method, path, body = request()
    try:
        c = http.client.HTTPConnection(host, port, timeout=30)
        c.putrequest(method, path, skip_accept_encoding=True)
        if body is not None:
            c.putheader('Content-Type', 'application/octet-stream')
            c.putheader('Content-Length', str(len(body)))
        c.endheaders()
        if body:
            c.send(body)
        r = c.getresponse()
        r.read()
        status = r.status
        c.close()
    except Exception as e:  # a dropped connection is a fault too
        status = 'error %s' % type(e).__name__
    seen[status] = seen.get(status, 0) + 1
    if status not in allowed:
        faults += 1
        print('FAULT: %s %r -> %s' % (method, path, status))
    if i % 50 == 0:
        c = http.client.HTTPConnection(host, port, timeout=30)
        c.request('GET', '/api/boards')
        if c.getresponse().status != 200:
            faults += 1
            print('FAULT: the board stopped answering after %r' % path)
        c.close()
print('statuses: ' + ', '.join('%s x%d' % (k, v) for k, v in sorted(seen.items(), key=str)))
sys.exit(1 if faults else 0)
