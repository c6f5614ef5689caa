#!/usr/bin/env python3
"""Plays one round headless as a person would, and keeps its replay.

  human_round.py GAME DATA_DIR OUT.zrp --time SECONDS [--flies 10|30|100|1000]
                 [--speed 1-4] [--hand N] [--script FILE] [--variants N]

The player sees what the game's trace shows (the oldest live fly, the round's phase), goes
for that fly once it is well on the screen, after a person's reaction, on a smooth path
(human_hand.py), settles on it, presses and releases the button, and goes for the next;
when the board takes clicks, clicks it away. Nothing it does comes from the game's test
player: the round is an ordinary headless round driven by a script of cursor moves and
button presses, and its replay is what the game recorded.

How: the game is deterministic, so the round is built a swat at a time. Each step runs the
game headless with the script so far and its trace, reads where the oldest fly goes while
the hand is idle, plans the next reach and press on that, and adds them to the script; a
press that misses is kept (a person misses too) and the next step aims again. DATA_DIR
holds bmp/ and wave/. --time is the round's calendar time (its seed): distinct rounds come
from distinct seeds. --hand seeds the hand's own variation (default: from --time), so the
same arguments make the same replay byte for byte. Prints 'time_ms=T frames=F clicks=C
misses=M' (the round's time as the best times keep it). Exits 1 when no round comes of it.

--variants N writes N replays of the one round, OUT's %d numbering them: the same swats,
the hand's drift while the board shows and its leaving click each their own. They are
distinct rounds (their inputs differ) with one time, for tests that need many rounds
cheaply; each costs one more run of the game rather than a round's planning.

--machine plays as a bot instead (for the tests that must catch one): the cursor jumps
onto the fly and clicks in the same frame, every third frame it can."""
import argparse
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import human_hand as hand  # noqa: E402

FLIES = {10: 0, 30: 1, 100: 2, 1000: 3}
PLAYING, AWAITING_CLICK = 0, 3
LOOK = 300  # frames of the idle future read at each step


def parse_trace(path):
    rows = {}
    with open(path) as f:
        for line in f:
            fields = dict(p.split("=", 1) for p in line.split() if "=" in p)
            if "frame" not in fields:
                continue
            row = {"scene": int(fields.get("scene", -1)), "phase": int(fields.get("phase", -1)),
                   "swatted": int(fields.get("swatted", 0))}
            if "fly" in fields:
                x, y = fields["fly"].split(",")
                row["fly"] = (int(x), int(y))
            rows[int(fields["frame"])] = row
    return rows


class Round:
    def __init__(self, game, data, work, seed):
        self.game, self.work, self.seed = game, work, seed
        for name in ("bmp", "wave"):
            os.symlink(os.path.join(data, name), os.path.join(work, name))
        self.events = []
        self.runs = 0

    def add(self, frame, text):
        assert not self.events or frame >= self.events[-1][0]
        self.events.append((frame, text))

    def run(self, frames):
        """Plays the script so far for `frames` flips from a fresh start; the trace."""
        for name in ("hiscoa.sav", "replays"):
            path = os.path.join(self.work, name)
            if os.path.isdir(path):
                shutil.rmtree(path)
            elif os.path.exists(path):
                os.remove(path)
        with open(os.path.join(self.work, "round.script"), "w") as f:
            f.writelines(f"{frame} {text}\n" for frame, text in self.events)
        subprocess.run([self.game, "--headless", "--script", "round.script", "--time", str(self.seed),
                        "--frames", str(frames), "--trace", "trace.txt"],
                       cwd=self.work, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.runs += 1
        return parse_trace(os.path.join(self.work, "trace.txt"))


def choose_mode(rnd, flies, speed):
    """The title's start entry, then the arrows of mode select from its first setting (30
    flies, speed 2) to the one asked, then start; returns the start click's frame."""
    rnd.add(0, "move 300 300")
    rnd.add(3, "click")
    frame = 10
    steps = [((125, 85) if FLIES[flies] < 1 else (515, 85), abs(FLIES[flies] - 1)),
             ((125, 200) if speed - 1 < 1 else (515, 200), abs(speed - 1 - 1))]
    for (x, y), count in steps:
        for _ in range(count):
            rnd.add(frame, f"move {x} {y}")
            rnd.add(frame + 2, "click")
            frame += 4
    rnd.add(frame, "move 320 320")
    rnd.add(frame + 2, "click")
    return frame + 2


def plan_swat(rows, rng, cursor, plan_from, last_press):
    """The next reach and press on the idle future in rows: (moves, press, release) or
    None when no fly comes within reach in the frames read."""
    end = max(rows)
    aim_ready = last_press + hand.next_aim(rng) if last_press is not None else 0
    seen = None
    for g in range(plan_from, end + 1):
        row = rows.get(g)
        if not row or row["phase"] != PLAYING or "fly" not in row or not hand.comfortable(*row["fly"]):
            seen = None
            continue
        if seen is None:
            # A fly already on the screen when the hand got free was seen long before.
            seen = g if g > plan_from else plan_from - 30
        start = max(seen + hand.reaction(rng), aim_ready, plan_from, g)
        fx, fy = rows.get(start, row).get("fly", row["fly"])
        distance = ((fx + 1 - cursor[0]) ** 2 + (fy + 1 - cursor[1]) ** 2) ** 0.5
        arrive = start + hand.movement(rng, distance)
        press = arrive + hand.settle(rng)
        release = press + hand.hold(rng)
        if release > end:
            return None
        window = [rows.get(f) for f in range(start, release + 1)]
        if not all(r and r["phase"] == PLAYING and "fly" in r for r in window):
            continue
        if not hand.comfortable(*rows[press]["fly"]) or not hand.comfortable(*rows[press + 1]["fly"]):
            continue
        ex, ey = hand.aim_error(rng)
        ax, ay = rows[arrive]["fly"]
        moves = []
        path = hand.reach_path(rng, cursor, (ax + 1 + ex, ay + 1 + ey), arrive - start)
        for k, point in enumerate(path, start=1):
            moves.append((start + k, point))
        # Settled on the fly: the hand follows it (a frame behind, as the eye is) while
        # the button goes down and up.
        tracker = hand.Tracker(*path[-1])
        for f in range(arrive + 1, release + 1):
            fx, fy = rows[f - 1]["fly"]
            moves.append((f, tracker.step(fx + 1 + ex, fy + 1 + ey)))
        return moves, press, release
    return None


def leave_board(rnd, rng, cursor, plan_from, ready):
    """While the board shows, the hand drifts; once it takes clicks, a look, a short
    reach and a click; then Escape twice. Returns the frame of the leaving press."""
    frame, drift = plan_from + hand.reaction(rng), cursor
    while frame < ready - 40:
        target = hand.clamp_point(drift[0] + rng.randint(-60, 60), drift[1] + rng.randint(-40, 40))
        path = hand.reach_path(rng, drift, target, hand.movement(rng, 60))
        for k, point in enumerate(path, start=1):
            rnd.add(frame + k, "move %d %d" % point)
        drift = path[-1]
        frame += len(path) + rng.randint(10, 40)
    start = max(frame, ready + hand.reaction(rng))
    target = (rng.randint(260, 380), rng.randint(250, 330))
    path = hand.reach_path(rng, drift, target, hand.movement(rng, 100))
    for k, point in enumerate(path, start=1):
        rnd.add(start + k, "move %d %d" % point)
    leave = start + len(path) + hand.settle(rng)
    rnd.add(leave, "down")
    rnd.add(leave + hand.hold(rng), "up")
    rnd.add(leave + 60, "key escape")
    rnd.add(leave + 75, "key escape")
    return leave


def plan_machine(rows, plan_from):
    """A bot's move, for the tests that must catch one: on the first frame a fly is in
    reach, the cursor jumps onto it and clicks in that very frame."""
    for g in range(plan_from, max(rows) + 1):
        row = rows.get(g)
        if row and row["phase"] == PLAYING and "fly" in row and hand.comfortable(*row["fly"], margin=0):
            fx, fy = rows.get(g + 1, row).get("fly", row["fly"])
            return [(g, hand.clamp_point(fx + 1, fy + 1))], g, g
    return None


def play(args):
    rng = random.Random(args.hand if args.hand is not None else args.time)
    work = tempfile.mkdtemp(prefix="zumble-human-")
    try:
        rnd = Round(os.path.realpath(args.game), os.path.realpath(args.data), work, args.time)
        start_click = choose_mode(rnd, args.flies, args.speed)
        cursor = (320, 320)
        plan_from = start_click + 1
        last_press = None
        clicks = misses = fails = 0
        swatted = 0
        look = LOOK
        while True:
            rows = rnd.run(plan_from + look)
            now = rows.get(plan_from - 1, {})
            if now.get("swatted", 0) == swatted and last_press is not None and now.get("phase") == PLAYING:
                misses += 1
                fails += 1
                if fails > 8:
                    sys.exit("human_round: eight presses in a row missed")
            elif last_press is not None:
                fails = 0
            swatted = now.get("swatted", swatted)
            if now.get("phase", PLAYING) != PLAYING or swatted == args.flies:
                break
            planned = plan_machine(rows, plan_from) if args.machine else \
                plan_swat(rows, rng, cursor, plan_from, last_press)
            if planned is None:
                if look > 20 * 60 * 5:
                    sys.exit("human_round: no fly came within reach for a long while")
                look *= 2
                continue
            look = LOOK
            moves, press, release = planned
            last_moved = None
            for frame, point in moves:
                if point != last_moved:
                    rnd.add(frame, "move %d %d" % point)
                    last_moved = point
                if frame == press:
                    rnd.add(frame, "down")
                if frame == release:
                    rnd.add(frame, "up")
            cursor = moves[-1][1]
            last_press = press
            plan_from = release + (3 if args.machine else 1)
            clicks += 1
        # The round is over: once the board takes clicks, a look, a short reach and a click.
        rows = rnd.run(plan_from + 20 * 60)
        ready = next((f for f in sorted(rows) if f >= plan_from and rows[f]["phase"] == AWAITING_CLICK), None)
        if ready is None:
            sys.exit("human_round: the board never took clicks")
        played = list(rnd.events)
        outs = [(args.out, rng)] if not args.variants else \
            [(args.out.replace("%d", str(k)), random.Random(rng.random() + k)) for k in range(1, args.variants + 1)]
        for out, leave_rng in outs:
            rnd.events = list(played)
            leave = leave_board(rnd, leave_rng, cursor, plan_from, ready)
            rnd.run(leave + 150)
            replay = os.path.join(work, "replays", "last.zrp")
            if not os.path.exists(replay):
                sys.exit("human_round: the game kept no replay")
            shutil.copy(replay, out)
        if args.script:
            shutil.copy(os.path.join(work, "round.script"), args.script)
        # The round's time as the best times hold it: the first place of its mode.
        with open(os.path.join(work, "hiscoa.sav"), "rb") as f:
            table = f.read()
        mode = FLIES[args.flies] * 4 + args.speed - 1
        (time_ms,) = struct.unpack_from("<I", table, 12 + 4 * 5 * mode)
        print(f"time_ms={time_ms} frames={leave - start_click} clicks={clicks + 1} misses={misses} runs={rnd.runs}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    p = argparse.ArgumentParser(description="Plays one round headless as a person would.")
    p.add_argument("game")
    p.add_argument("data")
    p.add_argument("out")
    p.add_argument("--time", type=int, required=True)
    p.add_argument("--flies", type=int, default=10, choices=sorted(FLIES))
    p.add_argument("--speed", type=int, default=2, choices=[1, 2, 3, 4])
    p.add_argument("--hand", type=int)
    p.add_argument("--script")
    p.add_argument("--variants", type=int, default=0)
    p.add_argument("--machine", action="store_true")
    play(p.parse_args())


if __name__ == "__main__":
    main()
