#!/usr/bin/env python3
"""A player with a gamepad, for the window test: it watches the game's trace and steers
the game's virtual pad (zumble --virtual-pad PADFILE) by appending lines to PADFILE.

    pad_driver.py TRACE PADFILE round SPEED   a whole 10-fly round at speed 1, from the
                                              title to the results board and back to mode
                                              select, with the checks of the pad on the way
    pad_driver.py TRACE PADFILE speed         plugs the pad in, holds the stick at full
                                              tilt right and prints the pixels a frame

Prints one line per check ("ok ..." or "FAIL ..."); exits 1 when a check failed.
"""
import math
import os
import sys
import time

TRACE, PAD, COMMAND = sys.argv[1], sys.argv[2], sys.argv[3]
FAILS = []


def check(what, ok):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        FAILS.append(what)


def last():
    """The trace's last whole line as a dict of its fields."""
    with open(TRACE, "rb") as f:
        f.seek(0, os.SEEK_END)
        f.seek(max(0, f.tell() - 4096))
        lines = f.read().decode().split("\n")
    line = lines[-2] if len(lines) > 1 else ""
    return dict(kv.split("=", 1) for kv in line.split() if "=" in kv)


def pair(fields, key):
    v = fields.get(key)
    return tuple(int(n) for n in v.split(",")) if v else None


def send(*lines):
    with open(PAD, "a") as f:
        f.write("".join(line + "\n" for line in lines))


def wait_for(test, what, timeout=30):
    deadline = time.time() + timeout
    while time.time() < deadline:
        fields = last()
        if fields and test(fields):
            return fields
        time.sleep(0.01)
    raise SystemExit("FAIL waiting for " + what + ": last line " + str(last()))


def frame():
    return int(last().get("frame", 0))


def wait_frames(n):
    start = frame()
    return wait_for(lambda f: int(f["frame"]) >= start + n, "%d frames" % n)


def tap(button):
    send("press " + button)
    wait_frames(3)
    send("release " + button)
    wait_frames(3)


def stick_towards(dx, dy, full_speed, dead_zone=0.08):
    """The stick's tilt that moves about a fifth of the way there each frame (the trace
    read is a frame or two old)."""
    d = math.hypot(dx, dy)
    per_frame = min(full_speed / 60.0, max(0.6, d / 5))
    share = per_frame / (full_speed / 60.0)
    tilt = dead_zone + share * (1 - dead_zone) + 0.002
    return [round(32767 * min(1.0, tilt) * v / d) for v in (dx, dy)]


def go_to(target, full_speed, near=2, timeout=20):
    """Steers the cursor to `target` (a point, or a function of the trace giving one)."""
    deadline = time.time() + timeout
    held = None
    while time.time() < deadline:
        fields = last()
        goal = target(fields) if callable(target) else target
        cursor = pair(fields, "cursor")
        if goal is None or cursor is None:
            time.sleep(0.01)
            continue
        dx, dy = goal[0] - cursor[0], goal[1] - cursor[1]
        if abs(dx) <= near and abs(dy) <= near:
            send("stick 0 0")
            return fields
        stick = stick_towards(dx, dy, full_speed)
        if stick != held:
            send("stick %d %d" % tuple(stick))
            held = stick
        time.sleep(0.01)
    send("stick 0 0")
    raise SystemExit("FAIL the cursor did not reach %s: %s" % (target, last()))


def moves_per_frame(frames=12):
    """The cursor's steps over `frames` frames of the stick held full right."""
    wait_frames(2)
    send("stick 32767 0")
    wait_frames(3)
    xs = []
    for _ in range(frames):
        f = wait_frames(1)
        xs.append((int(f["frame"]), pair(f, "cursor")[0]))
    send("stick 0 0")
    wait_frames(3)
    steps = [(b[1] - a[1]) / (b[0] - a[0]) for a, b in zip(xs, xs[1:]) if b[0] > a[0] and b[1] < 639]
    return steps


def speed():
    send("plug")
    wait_frames(10)
    go_to((100, 240), 600)
    steps = moves_per_frame()
    print("px_per_frame=%.2f" % (sum(steps) / len(steps) if steps else 0))


def round_(full_speed):
    # Plugged in and left alone, the pad moves nothing.
    before = pair(wait_frames(5), "cursor")
    send("plug")
    after = pair(wait_frames(90), "cursor")  # long enough for a backend that looks for new pads once a second
    check("a pad plugged in and at rest leaves the cursor at %s (%s)" % (before, after), before == after)

    # The title's start entry, then mode select.
    go_to((300, 300), full_speed)
    tap("a")
    wait_for(lambda f: f["scene"] == "5", "mode select")
    check("A on the title's start entry leads to mode select", True)

    # The d-pad: one pixel a press; held, a rest, then faster and faster.
    go_to((600, 240), full_speed)
    x0 = pair(wait_frames(3), "cursor")[0]
    tap("right")
    x1 = pair(wait_frames(2), "cursor")[0]
    check("a d-pad press moves one pixel (%d to %d)" % (x0, x1), x1 == x0 + 1)
    send("press left")
    rest = pair(wait_frames(9), "cursor")[0]
    held = pair(wait_frames(66), "cursor")[0]
    send("release left")
    check("the d-pad held rests after its first pixel (%d to %d)" % (x1, rest), rest == x1 - 1)
    check("then speeds up (%d pixels in 75 frames)" % (x1 - held), 150 < x1 - held < 75 * full_speed / 60)

    # Full tilt and the precision button.
    go_to((100, 200), full_speed)
    fast = moves_per_frame()
    send("press rb")
    slow = moves_per_frame()
    send("release rb")
    check("full tilt moves %g px a frame (%s)" % (full_speed / 60.0, fast),
          len(fast) > 5 and all(abs(s - full_speed / 60.0) <= 1 for s in fast))
    check("the right shoulder held slows it to a third (%s)" % slow,
          len(slow) > 5 and all(abs(s - full_speed * 0.33 / 60) <= 1 for s in slow))

    # Ten flies at the slowest speed, and start.
    for point in ((120, 80), (120, 200), (320, 320)):
        go_to(point, full_speed)
        tap("a")
    wait_for(lambda f: f["scene"] == "8", "the round")
    check("the round began with ten flies", last()["target"] == "10")

    # Start is Enter: the flies come faster.
    divisor = int(last()["divisor"])
    tap("start")
    check("Start makes the flies come faster (divisor %d)" % divisor, int(wait_frames(2)["divisor"]) < divisor)

    # A pad pulled out with A held lets go of the button; plugged in again, it plays on.
    send("press a")
    down = wait_frames(3)
    send("unplug")
    up = wait_frames(3)
    check("A held presses the mouse button", down["mouse"] == "1")
    check("pulling the pad out with A held releases it", up["mouse"] == "0")
    send("plug")
    wait_frames(10)

    # Swat the oldest fly until the results board shows.
    def aim(f):
        fly = pair(f, "fly")
        return (max(0, min(639, fly[0] + 1)), max(0, min(479, fly[1] + 1))) if fly else None

    deadline = time.time() + 240
    while time.time() < deadline and int(last()["phase"]) < 2:
        try:
            go_to(aim, full_speed, near=8, timeout=5)
        except SystemExit:
            continue
        tap("a")
    board = last()
    check("the round ended on the results board (scene %s, phase %s, swatted %s)"
          % (board["scene"], board["phase"], board["swatted"]),
          board["scene"] == "8" and int(board["phase"]) >= 2 and board["swatted"] == "10")
    wait_for(lambda f: f["phase"] == "3", "the board to take clicks")
    tap("a")
    wait_for(lambda f: f["scene"] == "5", "mode select after the board")
    check("A leaves the board for mode select", True)
    tap("b")
    wait_for(lambda f: f["scene"] == "2", "the title after B")
    check("B (Escape) leads back to the title", True)
    send("press b")  # and quits from there


if COMMAND == "speed":
    speed()
elif COMMAND == "round":
    round_(int(sys.argv[4]))
sys.exit(1 if FAILS else 0)
