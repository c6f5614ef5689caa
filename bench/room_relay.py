"""Rooms racing at once on one board, measured from the outside: ROOMS rooms of two
racers, each racer streaming a person's round (one of tests/replays/hands/, its header
given the room's seed) a frame at a time, 60 frames a second, and a spectator watching
each racer (live?watch=NAME). Prints one line: the relay's delay (a racer's record sent
-> the spectator has its bytes), the delay of each swat (the record that completes the
swat's frame sent -> the spectator's state shows the swat), and the CPU the board spent
per racer while the rounds were streamed (its own, and its playing of the rounds: the
`zumble --verify-follow` children), from /proc.

usage: room_relay.py BOARD_URL BOARD_PID GAME SOURCE_DIR ROOMS STEP [VIA_URL VIA_PID]
(STEP makes the step's names and addresses its own, so that steps share one board.)
With VIA_URL, a second server on the same PostgreSQL database: the rooms are made on the
first, and every racer's and spectator's link goes through the second, which passes it
on to the first through the database; the CPU is both servers'."""
import asyncio
import base64
import http.client
import json
import os
import struct
import subprocess
import sys
import time
from urllib.parse import urlsplit

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../board/tests"))
from replay_frames import frame_ends  # noqa: E402

url, board_pid, game, source, rooms_n, step = sys.argv[1:7]
board_pid, rooms_n, step = int(board_pid), int(rooms_n), int(step)
parts = urlsplit(url)
via = urlsplit(sys.argv[7]) if len(sys.argv) > 8 else parts
pids = [board_pid] + ([int(sys.argv[8])] if len(sys.argv) > 8 else [])
hands = sorted(os.path.join(source, "tests/replays/hands", f)
               for f in os.listdir(os.path.join(source, "tests/replays/hands")) if f.endswith(".zrp"))


def address(room):
    """Each room's people come from an address of their own (the board's per-address limits)."""
    return f"127.{50 + step}.{room // 250}.{room % 250 + 1}"


def api(addr, method, path, body=None):
    c = http.client.HTTPConnection(parts.hostname, parts.port, source_address=(addr, 0), timeout=60)
    c.request(method, path, body=None if body is None else json.dumps(body),
              headers={"Content-Type": "application/json"})
    r = c.getresponse()
    data = r.read()
    c.close()
    if r.status >= 300:
        raise SystemExit(f"{method} {path}: {r.status} {data[:200]!r}")
    return json.loads(data) if data else None


class Racer:
    def __init__(self, room, name, token, path, seed):
        data = open(path, "rb").read()
        size = struct.unpack_from("<I", data, 56)[0]
        start = bytearray(data[:68])
        struct.pack_into("<IIII", start, 48, 0xFFFFFFFF, 0, 0, 0)
        struct.pack_into("<I", start, 32, seed)
        self.room, self.name, self.token = room, name, token
        self.header, self.frames, self.tail = bytes(start), data[68:68 + size], data[:68] + data[68 + size:]
        self.ends = list(frame_ends(self.frames))
        # The frames at which the board's playing will see each swat (the game's own
        # --verify-follow, here beforehand): a swat at frame F shows once frames 0..F are in.
        out = subprocess.run([game, "--verify-follow"], input=b"h 68\n" + self.header +
                             b"f %d\n" % len(self.frames) + self.frames, capture_output=True).stdout
        self.swat_frames = [int(line.split(b"frame=")[1]) for line in out.splitlines()
                            if line.startswith(b"swat ")]
        self.sent = []        # (frame bytes so far, frames so far, when)
        self.relayed = []     # (frame bytes the spectator has, when)
        self.swats_seen = {}  # swat number -> when the spectator's state first showed it


class Socket:
    """A WebSocket client by hand (RFC 6455): the benchmark needs no package."""

    async def open(self, addr, path):
        self.reader, self.writer = await asyncio.open_connection(via.hostname, via.port,
                                                                 local_addr=(addr, 0))
        key = base64.b64encode(os.urandom(16)).decode()
        self.writer.write((f"GET {path} HTTP/1.1\r\nHost: {via.netloc}\r\nUpgrade: websocket\r\n"
                           f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                           "Sec-WebSocket-Version: 13\r\n\r\n").encode())
        head = await self.reader.readuntil(b"\r\n\r\n")
        if b" 101 " not in head.split(b"\r\n")[0]:
            raise SystemExit(f"{path}: {head.splitlines()[0]!r}")

    def send(self, opcode, payload):
        mask = os.urandom(4)
        masked = bytes(b ^ mask[i & 3] for i, b in enumerate(payload))
        size = len(payload)
        head = bytes([0x80 | opcode, 0x80 | size]) if size < 126 else \
            bytes([0x80 | opcode, 0xFE]) + struct.pack(">H", size)
        self.writer.write(head + mask + masked)

    async def message(self):
        while True:
            b = await self.reader.readexactly(2)
            length = b[1] & 127
            if length == 126:
                length = struct.unpack(">H", await self.reader.readexactly(2))[0]
            elif length == 127:
                length = struct.unpack(">Q", await self.reader.readexactly(8))[0]
            payload = await self.reader.readexactly(length)
            if b[0] & 15 == 9:
                self.send(10, payload)
                continue
            return b[0] & 15, payload


async def race(racer, ws, began):
    ws.send(2, b"h" + racer.header)
    at = 0
    for end, n in racer.ends:
        wait = began + n / 60 - time.monotonic()
        if wait > 0:
            await asyncio.sleep(wait)
        ws.send(2, b"f" + racer.frames[at:end])
        racer.sent.append((end, n, time.monotonic()))
        at = end
    await ws.writer.drain()
    await asyncio.sleep(1)
    ws.send(2, b"e" + racer.tail)
    await ws.writer.drain()


async def watch(racer, ws, until):
    have = 0
    try:
        while time.monotonic() < until:
            opcode, payload = await asyncio.wait_for(ws.message(), until - time.monotonic())
            now = time.monotonic()
            if opcode == 2 and payload[:1] == b"f":
                have += len(payload) - 1
                racer.relayed.append((have, now))
            elif opcode == 1:
                state = json.loads(payload)
                for row in state.get("race", {}).get("results", []):
                    if row["name"] == racer.name:
                        for k in range(1, row.get("swats", 0) + 1):
                            racer.swats_seen.setdefault(k, now)
            elif opcode == 8:
                return
    except asyncio.TimeoutError:
        pass


def cpu_ticks(pid, children=False):
    """utime + stime, or with `children` cutime + cstime: the children it has reaped."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    at = 13 if children else 11
    return int(fields[at]) + int(fields[at + 1])


def children_ticks(board_pid):
    """The CPU of the board's children, those running and those it has reaped."""
    total = cpu_ticks(board_pid, children=True)
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            if int(fields[1]) == board_pid:
                total += int(fields[11]) + int(fields[12])
        except (OSError, IndexError):
            pass
    return total


def percentile(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(len(values) * p / 100))] if values else float("nan")


async def main():
    rooms = []
    for i in range(rooms_n):
        made = api(address(i), "POST", "/api/rooms", {"flies": 10, "speed": 2})
        passes = [api(address(i), "POST", f"/api/rooms/{made['id']}/join",
                      {"name": f"s{step}r{i}{who}"})["racer"] for who in "ab"]
        rooms.append((made, passes))
    for i, (made, _) in enumerate(rooms):
        api(address(i), "POST", f"/api/rooms/{made['id']}/start?host={made['host']}")
    racers = []
    for i, (made, passes) in enumerate(rooms):
        while True:
            state = api(address(i), "GET", f"/api/rooms/{made['id']}")
            if "seed" in state.get("race", {}):
                break
            await asyncio.sleep(0.2)
        for j, who in enumerate("ab"):
            racers.append(Racer(made["id"], f"s{step}r{i}{who}", passes[j],
                                hands[(2 * i + j) % len(hands)], state["race"]["seed"]))
    links = []
    for k, r in enumerate(racers):
        racer_ws, spectator = Socket(), Socket()
        await racer_ws.open(address(k // 2), f"/api/rooms/{r.room}/live?racer={r.token}")
        await spectator.open(address(k // 2), f"/api/rooms/{r.room}/live?watch={r.name}")
        links.append((racer_ws, spectator))
    longest = max(r.ends[-1][1] for r in racers) / 60
    ticks, kids = sum(map(cpu_ticks, pids)), sum(map(children_ticks, pids))
    began = time.monotonic() + 0.5
    until = began + longest + 2
    tasks = []
    for k, (r, (racer_ws, spectator)) in enumerate(zip(racers, links)):
        # Racers of different rooms start within one frame of each other, not at once.
        tasks.append(race(r, racer_ws, began + (k // 2) / 60 / max(1, rooms_n)))
        tasks.append(watch(r, spectator, until))
    # Keep the racers' connections read (their states), as a game does.
    async def drain(ws):
        try:
            while True:
                await asyncio.wait_for(ws.message(), max(0.01, until - time.monotonic()))
        except (asyncio.TimeoutError, asyncio.IncompleteReadError):
            pass
    tasks += [drain(racer_ws) for racer_ws, _ in links]
    await asyncio.gather(*tasks)
    seconds = time.monotonic() - began
    await asyncio.sleep(1)  # the rounds' ends reach the board's playing, which ends
    own = (sum(map(cpu_ticks, pids)) - ticks) / os.sysconf("SC_CLK_TCK")
    playing = max(0, sum(map(children_ticks, pids)) - kids) / os.sysconf("SC_CLK_TCK")
    relay, swat, missing = [], [], 0
    for r in racers:
        j = 0
        for end, _, when in r.sent:
            while j < len(r.relayed) and r.relayed[j][0] < end:
                j += 1
            if j == len(r.relayed):
                missing += 1
                continue
            relay.append((r.relayed[j][1] - when) * 1000)
        for number, frame in enumerate(r.swat_frames, 1):
            sent = next((when for _, n, when in r.sent if n >= frame + 1), None)
            if sent is None or number not in r.swats_seen:
                missing += 1
                continue
            swat.append((r.swats_seen[number] - sent) * 1000)
    n = len(racers)
    print(f"rooms {rooms_n:3d}, racers {n:3d}: relay p50 {percentile(relay, 50):6.1f} ms, "
          f"p99 {percentile(relay, 99):6.1f} ms ({len(relay)} records); swat to state p50 "
          f"{percentile(swat, 50):6.1f} ms, p99 {percentile(swat, 99):6.1f} ms ({len(swat)} swats); "
          f"{missing} not seen; board CPU per racer {own / seconds / n * 100:5.2f}% of a core, "
          f"its playing {playing / seconds / n * 100:5.2f}%", flush=True)
    for racer_ws, spectator in links:
        racer_ws.writer.close()
        spectator.writer.close()
    ok = missing == 0 and percentile(relay, 99) < 50 and percentile(swat, 99) < 50
    sys.exit(0 if ok else 1)


asyncio.run(main())
