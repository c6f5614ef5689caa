"""A person's hand at the mouse, for the drivers that play rounds as a person would
(human_round.py headless, human_window.py at a real window): how long they take to see
a fly and to get the cursor onto it, the smooth path the cursor takes, and how long the
button stays down.

The figures are the usual ones for a practised player at a mouse:
- reaction to a new target 200-370 ms (simple visual reaction is 200-250 ms at best);
- a new aim after a swat 170-300 ms;
- movement time by Fitts' law, MT = 180 ms + 120 ms x log2(D / W + 1) (W the swat box,
  about 50 game pixels), give or take 15 %, never under 200 ms;
- the path a minimum-jerk one (bell-shaped speed), bowed a little to one side as a wrist
  moves, ending a few pixels off the aim;
- a short settle on the fly (50-150 ms) before pressing, the button held 65-130 ms.
Frames are the game's 60 a second."""
import math

FPS = 60
SCREEN_W, SCREEN_H = 640, 480
SWAT_BOX = 50


def frames(ms):
    return max(1, int(round(ms * FPS / 1000.0)))


def reaction(rng):
    return frames(rng.uniform(200, 370))


def next_aim(rng):
    return frames(rng.uniform(170, 300))


def movement(rng, distance):
    ms = 180 + 120 * math.log2(distance / SWAT_BOX + 1)
    return max(frames(200), frames(ms * rng.uniform(0.85, 1.15)))


def settle(rng):
    return frames(rng.uniform(50, 150))


def hold(rng):
    return frames(rng.uniform(65, 130))


def aim_error(rng):
    """Where the hand ends up around its aim: a few pixels off, rarely more than 10."""
    return (max(-10, min(10, int(round(rng.gauss(0, 4))))),
            max(-10, min(10, int(round(rng.gauss(0, 4))))))


def clamp_point(x, y):
    return min(max(int(round(x)), 0), SCREEN_W - 1), min(max(int(round(y)), 0), SCREEN_H - 1)


def quintic(p0, v0, a0, pf, vf, af, t_end):
    """The minimum-jerk polynomial from position, speed and acceleration p0, v0, a0 to
    pf, vf, af in t_end; returns its coefficients c0..c5."""
    T = float(t_end)
    h = pf - p0
    c3 = (20 * h - (8 * vf + 12 * v0) * T - (3 * a0 - af) * T * T) / (2 * T ** 3)
    c4 = (-30 * h + (14 * vf + 16 * v0) * T + (3 * a0 - 2 * af) * T * T) / (2 * T ** 4)
    c5 = (12 * h - 6 * (vf + v0) * T - (a0 - af) * T * T) / (2 * T ** 5)
    return (p0, v0, a0 / 2, c3, c4, c5)


def at(c, t):
    return c[0] + t * (c[1] + t * (c[2] + t * (c[3] + t * (c[4] + t * c[5]))))


def reach_path(rng, start, end, n):
    """The cursor's positions on frames 1..n of a reach from start (at rest) to end (at
    rest): minimum jerk along the line, bowed sideways by up to 6 % of the distance."""
    (x0, y0), (x1, y1) = start, end
    dx, dy = x1 - x0, y1 - y0
    dist = math.hypot(dx, dy) or 1.0
    bow = rng.uniform(-0.06, 0.06) * dist
    nx, ny = -dy / dist, dx / dist
    along = quintic(0.0, 0.0, 0.0, 1.0, 0.0, 0.0, n)
    points = []
    for k in range(1, n + 1):
        s = at(along, k)
        side = bow * 4 * s * (1 - s)
        points.append(clamp_point(x0 + dx * s + nx * side, y0 + dy * s + ny * side))
    return points


class Tracker:
    """A cursor that follows a point with a hand's lag: each frame it closes part of the
    gap, its speed carried over, so the path stays smooth."""

    def __init__(self, x, y):
        self.x, self.y = float(x), float(y)
        self.vx = self.vy = 0.0

    def step(self, tx, ty, gain=0.25, damping=0.55):
        self.vx = damping * self.vx + gain * (tx - self.x)
        self.vy = damping * self.vy + gain * (ty - self.y)
        self.x += self.vx
        self.y += self.vy
        return clamp_point(self.x, self.y)


def comfortable(x, y, margin=16):
    """A fly the hand goes for: the aim (fly + 1) well inside the screen."""
    return margin <= x + 1 < SCREEN_W - margin and margin <= y + 1 < SCREEN_H - margin
