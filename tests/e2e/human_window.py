#!/usr/bin/env python3
"""Plays rounds at a real window as a person would: the real pointer (XTest, as xdotool
moves it) on smooth paths, a person's reaction before each reach, a settle on the fly,
the button held as a finger holds it; never faster than a hand (human_hand.py).

  human_window.py WINDOW_ID SCALE TRACE ROUNDS OUT_DIR [HAND_SEED [FLIES/SPEED]]

What the player sees comes from the game's trace (the oldest live fly, the scene and the
round's phase): it goes for that fly once it is well on the screen, aiming where the fly
will be when the hand gets there, and steers on the way as the eye follows it. The game
must be on the title or mode select; the first round sets the mode (ten flies, speed 2
unless FLIES/SPEED says otherwise) with mode select's arrows from 30 flies, speed 2. Each round's
replay goes to OUT_DIR/round-N.zrp and 'N CLOCK' to OUT_DIR/times.txt. Exits 1 when a
round does not come to its end within two minutes (three seconds a fly in longer rounds)."""
import ctypes
import ctypes.util
import os
import random
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import human_hand as hand  # noqa: E402

x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
xtst = ctypes.cdll.LoadLibrary(ctypes.util.find_library("Xtst") or "libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XTranslateCoordinates.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                      ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int),
                                      ctypes.POINTER(ctypes.c_ulong)]
x11.XFlush.argtypes = [ctypes.c_void_p]
xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]

window, scale, trace, rounds, out = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], int(sys.argv[4]), sys.argv[5]
rng = random.Random(int(sys.argv[6]) if len(sys.argv) > 6 else 1)
flies, speed = (int(v) for v in (sys.argv[7] if len(sys.argv) > 7 else "10/2").split("/"))
if flies not in (10, 30, 100, 1000) or speed not in (1, 2, 3, 4):
    sys.exit("FLIES/SPEED: 10, 30, 100 or 1000 flies, speed 1 to 4")
round_limit = max(120, 3 * flies)  # seconds: a hand takes one to two a fly
display = x11.XOpenDisplay(None)
if not display:
    sys.exit("cannot open the display")
root = x11.XDefaultRootWindow(display)
ox, oy, child = ctypes.c_int(), ctypes.c_int(), ctypes.c_ulong()
x11.XTranslateCoordinates(display, window, root, 0, 0, ctypes.byref(ox), ctypes.byref(oy), ctypes.byref(child))
TICK = 1.0 / hand.FPS


class Pointer:
    """The real pointer, in game pixels, with the speed and acceleration it has now (so
    that a new plan goes on from them smoothly)."""

    def __init__(self):
        self.x, self.y = 320.0, 240.0
        self.vx = self.vy = self.ax = self.ay = 0.0
        self.put(self.x, self.y)

    def put(self, x, y):
        gx, gy = hand.clamp_point(x, y)  # never off the game's screen
        xtst.XTestFakeMotionEvent(display, -1, ox.value + gx * scale + scale // 2,
                                  oy.value + gy * scale + scale // 2, 0)
        x11.XFlush(display)

    def button(self, down):
        xtst.XTestFakeButtonEvent(display, 1, 1 if down else 0, 0)
        x11.XFlush(display)

    def move_to(self, x, y):
        vx, vy = x - self.x, y - self.y
        self.ax, self.ay = vx - self.vx, vy - self.vy
        self.vx, self.vy = vx, vy
        self.x, self.y = x, y
        self.put(x, y)

    def rest(self):
        self.move_to(self.x, self.y)


def last_line():
    try:
        with open(trace, "rb") as f:
            f.seek(0, os.SEEK_END)
            f.seek(max(0, f.tell() - 2048))
            lines = f.read().decode("ascii", "replace").splitlines()
    except OSError:
        return {}
    for line in reversed(lines[1:] if len(lines) > 1 else lines):
        fields = dict(p.split("=", 1) for p in line.split() if "=" in p)
        if "scene" in fields and "phase" in fields and "frame" in fields:
            return fields
    return {}


def wait_for(test, seconds):
    end = time.time() + seconds
    while time.time() < end:
        fields = last_line()
        if fields and test(fields):
            return fields
        time.sleep(0.02)
    return None


def frames_pass(pointer, count, follow=None):
    """count frames of wall time; the hand rests, or follows `follow()` (a point)."""
    tracker = hand.Tracker(pointer.x, pointer.y)
    for _ in range(count):
        start = time.time()
        if follow:
            target = follow()
            if target:
                pointer.move_to(*tracker.step(*target))
        else:
            pointer.rest()
        time.sleep(max(0.0, TICK - (time.time() - start)))


def reach(pointer, target, count):
    """A minimum-jerk reach of count frames from where the hand is to target (a point, or
    a function giving the point as the eye updates it), bowed a little to one side."""
    x0, y0 = pointer.x, pointer.y
    along = hand.quintic(0.0, 0.0, 0.0, 1.0, 0.0, 0.0, count)
    bow = rng.uniform(-0.06, 0.06)
    for k in range(1, count + 1):
        start = time.time()
        tx, ty = target() if callable(target) else target
        s = hand.at(along, k)
        dx, dy = tx - x0, ty - y0
        side = bow * 4 * s * (1 - s)
        pointer.move_to(x0 + dx * s - dy * side, y0 + dy * s + dx * side)
        time.sleep(max(0.0, TICK - (time.time() - start)))


def click(pointer, follow=None):
    frames_pass(pointer, hand.settle(rng), follow)
    pointer.button(True)
    frames_pass(pointer, hand.hold(rng), follow)
    pointer.button(False)


def press_at(pointer, x, y):
    """A menu button: a reaction, a reach, a click."""
    frames_pass(pointer, hand.reaction(rng))
    reach(pointer, (x, y), hand.movement(rng, ((x - pointer.x) ** 2 + (y - pointer.y) ** 2) ** 0.5))
    click(pointer)


class FlyEye:
    """Where the oldest fly is, and where it is going: position and speed (per frame)
    from the last trace lines."""

    def __init__(self):
        self.frame = self.pos = None
        self.vel = (0.0, 0.0)

    def look(self):
        f = last_line()
        if f.get("scene") != "8":
            return f, None
        fly = f.get("fly")
        if not fly:
            self.frame = self.pos = None
            return f, None
        frame = int(f["frame"])
        x, y = (int(v) for v in fly.split(","))
        if self.pos and self.frame is not None and 0 < frame - self.frame <= 6:
            dt = frame - self.frame
            vx, vy = (x - self.pos[0]) / dt, (y - self.pos[1]) / dt
            if abs(vx) < 20 and abs(vy) < 20:  # not another fly that became the oldest
                self.vel = (0.6 * self.vel[0] + 0.4 * vx, 0.6 * self.vel[1] + 0.4 * vy)
        elif frame != self.frame:
            self.vel = (0.0, 0.0)
        if frame != self.frame:
            self.frame, self.pos = frame, (x, y)
        return f, self.pos

    def ahead(self, frames):
        if not self.pos:
            return None
        return (self.pos[0] + 1 + self.vel[0] * frames, self.pos[1] + 1 + self.vel[1] * frames)


def play_round(pointer):
    eye = FlyEye()
    end = time.time() + round_limit
    free_since = time.time()
    while time.time() < end:
        f, fly = eye.look()
        if f.get("scene") == "8" and int(f.get("phase", "0")) >= 1:
            return True
        if not fly or not hand.comfortable(*fly):
            time.sleep(TICK)
            continue
        # Seen: a person's reaction, or a new aim when the hand was busy till now.
        seen = time.time()
        wait = max(hand.reaction(rng) * TICK, hand.next_aim(rng) * TICK - (seen - free_since))
        frames_pass(pointer, max(1, int(wait / TICK)))
        f, fly = eye.look()
        if not fly or not hand.comfortable(*fly):
            continue
        distance = ((fly[0] + 1 - pointer.x) ** 2 + (fly[1] + 1 - pointer.y) ** 2) ** 0.5
        count = hand.movement(rng, distance)
        ex, ey = hand.aim_error(rng)
        left = [count]

        def aim():
            eye.look()
            left[0] -= 1
            p = eye.ahead(max(0, left[0]) + 2)
            return (p[0] + ex, p[1] + ey) if p else (pointer.x, pointer.y)

        reach(pointer, aim, count)

        def follow():
            eye.look()
            p = eye.ahead(2)
            return (p[0] + ex, p[1] + ey) if p else None

        click(pointer, follow)
        free_since = time.time()
    return False


replay = "replays/last.zrp"


def replay_stamp():
    try:
        st = os.stat(replay)
        return (st.st_mtime_ns, st.st_ino, st.st_size)
    except OSError:
        return None


pointer = Pointer()
first = wait_for(lambda f: f["scene"] in ("2", "5"), 30)
if not first:
    sys.exit("the title never showed")
if first["scene"] == "2":
    press_at(pointer, 300, 300)  # the title's start entry
    if not wait_for(lambda f: f["scene"] == "5", 10):
        sys.exit("mode select never showed")
    # Mode select's arrows, from 30 flies at speed 2: left fewer or slower, right more or
    # faster.
    for _ in range({10: 1, 30: 0, 100: 1, 1000: 2}[flies]):
        press_at(pointer, 125 if flies == 10 else 515, 85)
    for _ in range(abs(speed - 2)):
        press_at(pointer, 125 if speed < 2 else 515, 200)
with open(os.path.join(out, "times.txt"), "a") as times:
    for n in range(1, rounds + 1):
        if not wait_for(lambda f: f["scene"] == "5", 10):
            sys.exit(f"round {n}: not at mode select")
        before = replay_stamp()
        press_at(pointer, 320, 320)  # start
        if not wait_for(lambda f: f["scene"] == "8", 10):
            sys.exit(f"round {n}: the round did not start")
        if not play_round(pointer):
            sys.exit(f"round {n}: the flies were not all swatted within {round_limit} s")
        f = wait_for(lambda f: f["scene"] == "8" and f["phase"] == "3", 20)
        if not f:
            sys.exit(f"round {n}: the board did not take clicks")
        press_at(pointer, rng.randint(260, 380), rng.randint(250, 330))  # leave the board
        if not wait_for(lambda f: f["scene"] == "5", 10):
            sys.exit(f"round {n}: the board was not left")
        # The round's replay is saved (replaced whole) as mode select begins.
        deadline = time.time() + 10
        while time.time() < deadline and replay_stamp() == before:
            time.sleep(0.02)
        shutil.copy(replay, os.path.join(out, f"round-{n}.zrp"))
        times.write(f"{n} {f['clock']}\n")
        times.flush()
