// replay_bot: the game, run as `zumble` with the given options, with a machine player.
// With --steer it steers the random sequence (below, at SteerFlip).
// By default it swats on every frame: the cursor jumps onto the oldest fly it can reach
// and clicks there, frame after frame. With --careful it plays under the simple signs:
// it follows the oldest fly one frame ahead (the cursor on where the fly will be, moving
// every frame, so that it arrives before it presses and never rests), presses 3 pixels
// off the test player's pixel, and waits 133 ms (8 frames) after every other cue and not
// at all after the rest. Its rounds carry no test player's flag (--touch: the touch
// screen's), so that the verifier's signs of machine play, not the flag, must tell them
// apart.
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "objects/instances.h"
#include "objects/sine_cosine.h"
#include "platform/services/input_source.h"
#include "platform/services/process_usage.h"
#include "platform/stand_in/runtime.h"
#include "replay/core/replay_signs.h"
#include "replay/steer_forecast.h"
#include "scenes/play.h"
#include "scenes/play_aim.h"
#include "shell/driver/game_run.h"
#include "shell/globals.h"

namespace {

const char kUsage[] =
    "usage: replay_bot [--careful | --steer | --steer-every N] [--bot-seed N] [--touch]\n"
    "                  --headless [ZUMBLE OPTIONS...]\n"
    "\n"
    "Runs the game as zumble would with these options (e.g. --script FILE to reach a\n"
    "round, --frames N, --time SECONDS), with a machine player that, on every frame of a\n"
    "round, moves the cursor onto the oldest fly a cursor on the screen can reach and\n"
    "clicks there, and clicks once to leave the results. The round's replay is kept as\n"
    "the game keeps any (replays/last.zrp beside hiscoa.sav), without the test player's\n"
    "flag.\n"
    "  --careful  follows the oldest fly one frame ahead, the cursor moving every frame,\n"
    "             presses 3 pixels off the test player's pixel a frame after arriving,\n"
    "             133 ms after every other cue (a fly coming into reach, or its last\n"
    "             swat) and at once after the others\n"
    "  --steer    keeps every swat above a person's floors (plus a lognormal of median\n"
    "             35 ms), on smooth paths with 5 px of scatter, but picks each press\n"
    "             frame among the next 16 by playing each on a copy of what decides the\n"
    "             next flies; waits where the next fly will show; swats the last at once\n"
    "  --steer-every N  the same, steering one swat in N (the others at the first\n"
    "             frame its floors allow)\n"
    "  --bot-seed N     the seed of its noise and scatter (default 1)\n"
    "  --touch    the round says a touch screen was used\n";

constexpr int kScreenW = 640, kScreenH = 480;
constexpr int kOffset = 3;                      // pixels off the test player's pixel
constexpr int kSlowFrames = 8;                  // 133 ms
constexpr double kRadiansPerDegree = 0.017453;  // the flies' own

bool g_careful = false;
bool g_leftBoard = false;

void Click(int x, int y) {
    SetGameCursor(x, y);
    const LPARAM where = static_cast<LPARAM>((y & 0xFFFF) << 16 | (x & 0xFFFF));
    PostGameMessage(WM_LBUTTONDOWN, 1, where);
    PostGameMessage(WM_LBUTTONUP, 0, where);
}

void OnFlip(long long) {
    if (SceneState != STATE_PLAY_FRAME) return;
    if (RoundPhase == Playing) {
        g_leftBoard = false;
        int x, y;
        if (AutoplayAim(&x, &y)) Click(x, y);
    } else if (RoundPhase == AwaitingClick && !g_leftBoard) {
        g_leftBoard = true;
        POINT cursor{};
        GetCursorPos(&cursor);
        Click(cursor.x, cursor.y);
    }
}

// Where a fly's record will be after its next step (its turn toward its target, then its
// move), as the swarm steps it; a new target drawn at that step is not foreseen.
void Predict(const FlyState& fly, int* x, int* y) {
    const int aim =
        fly.targetX > fly.x ? (fly.targetY > fly.y ? 45 : 315) : (fly.targetY > fly.y ? 135 : 225);
    const int low = aim % 180;
    const bool decrease = (aim < 180) == (fly.heading >= low && fly.heading < low + 180);
    double heading = fly.heading + (decrease ? -fly.speed : fly.speed);
    if (heading >= 359) heading = 0;
    if (heading < 0) heading = 359;
    double dirX = 0, dirY = 0;
    SineCosine(heading * kRadiansPerDegree, &dirY, &dirX);
    *x = static_cast<int>(fly.x + dirX * fly.speed);
    *y = static_cast<int>(fly.y + dirY * fly.speed);
}

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// The test player's pixel for a record at `pos`, or false when no cursor reaches it.
bool AimAt(int pos, int size, int* aim) {
    const int lo = pos - 24 > 0 ? pos - 24 : 0, hi = pos + 26 < size - 1 ? pos + 26 : size - 1;
    if (lo > hi) return false;
    *aim = Clamp(pos + 1, lo, hi);
    return true;
}

struct Careful {
    const FlyState* target = nullptr;
    bool followed = false;  // the cursor stood on the target's next place at the last flip
    long long cue = -1;     // the flip of the target's cue
    long long lastSwat = -1;
    int cues = 0;  // cues so far: every other one waits
    bool leftBoard = false;
    int wiggle = 1;
};
Careful g_c;

void CarefulFlip(long long frame) {
    if (SceneState != STATE_PLAY_FRAME) return;
    POINT cursor{};
    GetCursorPos(&cursor);
    if (RoundPhase == AwaitingClick && !g_c.leftBoard) {
        g_c.leftBoard = true;
        Click(cursor.x, cursor.y);
        return;
    }
    if (RoundPhase != Playing) {
        g_c = Careful{};
        return;
    }
    // The oldest fly, as the test player takes it, but where it will be.
    const FlyState* fly = Flies.Count() > 0 ? Flies.PeekAt(0) : nullptr;
    if (fly != g_c.target) {
        g_c.target = fly;
        g_c.followed = false;
        g_c.cue = -1;
    }
    int x = Clamp(cursor.x + g_c.wiggle, 0, kScreenW - 1),
        y = cursor.y;  // nothing to follow: it never rests
    g_c.wiggle = -g_c.wiggle;
    bool reach = false;
    if (fly) {
        int fx = 0, fy = 0;
        Predict(*fly, &fx, &fy);
        int ax = 0, ay = 0;
        reach = AimAt(fx, kScreenW, &ax) && AimAt(fy, kScreenH, &ay);
        x = Clamp(reach ? ax + kOffset : fx + 1, 0, kScreenW - 1);
        y = Clamp(reach ? ay : fy + 1, 0, kScreenH - 1);
        if (reach && g_c.cue < 0) {
            // Its cue: this flip shows it in reach, or the last swat came later.
            g_c.cue = frame > g_c.lastSwat ? frame : g_c.lastSwat;
            ++g_c.cues;
        }
    }
    if (x == cursor.x && y == cursor.y) x = Clamp(x + (x > 0 ? -1 : 1), 0, kScreenW - 1);
    const long long wait = g_c.cues % 2 == 0 ? kSlowFrames : 0;
    if (reach && g_c.followed && frame - g_c.cue >= wait) {
        Click(x, y);
        g_c.lastSwat = frame + 1;
        g_c.target = nullptr;  // the next fly is a new cue
        return;
    }
    SetGameCursor(x, y);
    g_c.followed = fly != nullptr;
}

// --- --steer: a machine that steers the random sequence ---------------------------------
// Every swat keeps above a person's floors (the floor of its reach plus a lognormal of
// median 35 ms), the cursor on smooth paths with 5 px of scatter; but the press frame is
// chosen by trying each of the next 16 on a copy of what decides the next flies, with a
// model of itself playing on, keeping the one that swats the next flies soonest. While it
// waits it goes to where the next fly will first show (known by the same copy), and the
// last fly it swats at once. --steer-every N steers one swat in N and presses the others
// at its first chance.

constexpr int kSteerTries = 16;   // press frames tried after the first one it could
constexpr int kModelSwats = 3;    // swats its model plays on after each try
constexpr int kLookFrames = 240;  // frames it looks ahead for a fly
constexpr double kNoiseMedianMs = 35;

int g_steerEvery = 0;  // 0: not this player
std::mt19937 g_rng(1);

double FramesMs(long long frames) { return frames * 1000.0 / 60; }

// Where a fly can be swatted now: shown and reachable; the press's pixel on it.
bool Swattable(const FlyState& f, int* x, int* y) {
    const int fx = static_cast<int>(f.x), fy = static_cast<int>(f.y);
    return FlyDrawn(fx, fy, 0) && AutoplayAimAt(fx, fy, x, y);
}

// Its model of itself on a deal (the one a press would find): the first fly it can
// swat, reached from (x, y) at the floors plus its median noise. The frames until then,
// or -1 with none in `limit`; the deal is left there, the fly's index in *fly.
int ModelNext(Deal* d, int x, int y, int limit, int* fly, int* ax, int* ay) {
    for (int t = 1; t <= limit; ++t) {
        StepDeal(d);
        for (int i = 0; i < d->count; ++i) {
            int px = 0, py = 0;
            if (!Swattable(d->flies[i], &px, &py)) continue;
            if (FramesMs(t) < SignsFloorMs(std::hypot(px - x, py - y)) + kNoiseMedianMs) continue;
            *fly = i;
            *ax = px;
            *ay = py;
            return t;
        }
    }
    return -1;
}

// Frames until its model has swatted the next few flies after a press on `d` at (x, y).
int ModelFinish(Deal* d, int x, int y) {
    int frames = 0;
    for (int k = 0; k < kModelSwats; ++k) {
        if (d->count == 0 && d->spawned >= d->target) return frames;
        int fly = 0, ax = 0, ay = 0;
        const int t = ModelNext(d, x, y, kLookFrames, &fly, &ax, &ay);
        if (t < 0) return frames + kLookFrames * (kModelSwats - k);
        frames += t;
        bool hit = false;
        PressDeal(d, ax, ay, fly, &hit);
        x = ax;
        y = ay;
    }
    return frames;
}

struct Steerer {
    long long planned = -1;  // the flip after which it presses (-1: no plan)
    int goalX = 0, goalY = 0;
    long long moveFrom = 0;  // the path: from here at that flip
    int fromX = 0, fromY = 0;
    long long lastSwat = -1;
    int lastX = 0, lastY = 0;
    int swats = 0;
    bool waiting = false;  // at the next fly's entry
    bool leftBoard = false;
    std::map<const FlyState*, std::pair<long long, std::pair<int, int>>> shown;  // flip, cursor
};
Steerer g_s;
Deal g_deals[kSteerTries + 2], g_try;

// A smooth reach (minimum jerk) from the path's start to the goal, arriving at `at`.
void MoveAlong(long long frame, long long at) {
    const double span = static_cast<double>(at - g_s.moveFrom);
    const double t =
        span <= 0 ? 1 : std::min(1.0, static_cast<double>(frame - g_s.moveFrom) / span);
    const double s = t * t * t * (10 - 15 * t + 6 * t * t);
    int x = g_s.fromX + static_cast<int>(std::lround((g_s.goalX - g_s.fromX) * s));
    int y = g_s.fromY + static_cast<int>(std::lround((g_s.goalY - g_s.fromY) * s));
    SetGameCursor(Clamp(x, 0, kScreenW - 1), Clamp(y, 0, kScreenH - 1));
}

void StartPath(long long frame, int x, int y) {
    POINT c{};
    GetCursorPos(&c);
    g_s.moveFrom = frame;
    g_s.fromX = c.x;
    g_s.fromY = c.y;
    g_s.goalX = Clamp(x, 0, kScreenW - 1);
    g_s.goalY = Clamp(y, 0, kScreenH - 1);
}

int Scatter() {
    return static_cast<int>(std::lround(std::normal_distribution<double>(0, 5)(g_rng)));
}

// The frames a smooth reach of `distance` pixels takes it (never fewer than three).
long long ReachFrames(double distance) {
    const double ms = 60 + 50 * std::log2(distance / kSignSwatBoxPixels + 1);
    return std::max(3LL, static_cast<long long>(std::ceil(ms * 60 / 1000)));
}

// Plans the swat of the oldest fly it can swat: the first frame its floors allow, then
// (when it steers this swat) the best of the next ones.
bool Plan(long long frame) {
    POINT cursor{};
    GetCursorPos(&cursor);
    // The deal the next drain finds: the press posted now is taken there.
    Deal& d = g_deals[0];
    CaptureDeal(&d);
    StepDeal(&d);
    int target = -1;
    long long cue = 0;
    int cueX = 0, cueY = 0;
    for (int i = 0; i < Flies.Count() && i < d.count; ++i) {
        auto it = g_s.shown.find(Flies.PeekAt(i));
        int x = 0, y = 0;
        if (it == g_s.shown.end() || !Swattable(d.flies[i], &x, &y)) continue;
        target = i;
        cue = it->second.first;
        cueX = it->second.second.first;
        cueY = it->second.second.second;
        break;
    }
    if (target < 0) return false;
    if (g_s.lastSwat >= cue) {
        cue = g_s.lastSwat;
        cueX = g_s.lastX;
        cueY = g_s.lastY;
    }
    const bool last = FliesSpawned >= TargetFlies && Flies.Count() == 1;
    const double noise =
        std::exp(std::log(kNoiseMedianMs) + 0.5 * std::normal_distribution<double>()(g_rng));
    const int offX = Scatter(), offY = Scatter();
    const bool steer = g_steerEvery > 0 && g_s.swats % g_steerEvery == 0 && !last;
    int first = -1, bestCost = 0, bestJ = -1, bestX = 0, bestY = 0;
    for (int j = 0; j <= kLookFrames; ++j) {
        if (j > 0) StepDeal(&d);
        if (first >= 0 && j > first + kSteerTries) break;
        int ax = 0, ay = 0;
        if (target >= d.count || !Swattable(d.flies[target], &ax, &ay)) continue;
        ax = Clamp(ax + offX, 0, kScreenW - 1);
        ay = Clamp(ay + offY, 0, kScreenH - 1);
        if (j < ReachFrames(std::hypot(ax - cursor.x, ay - cursor.y))) continue;
        // A person's floors from the cue, with the scatter's pixel; the last fly at once.
        if (!last &&
            FramesMs(frame + j - cue) < SignsFloorMs(std::hypot(ax - cueX, ay - cueY)) + noise)
            continue;
        CopyDeal(&g_try, d);
        bool hit = false;
        PressDeal(&g_try, ax, ay, target, &hit);
        if (!hit) continue;
        const int cost = j + (steer ? ModelFinish(&g_try, ax, ay) : 0);
        if (first < 0) first = j;
        if (bestJ < 0 || cost < bestCost) {
            bestCost = cost;
            bestJ = j;
            bestX = ax;
            bestY = ay;
        }
        if (!steer) break;
    }
    if (bestJ < 0) return false;
    g_s.planned = frame + bestJ;
    StartPath(frame, bestX, bestY);
    return true;
}

// With nothing to swat, it waits where the next fly will first show.
void Ambush(long long frame) {
    CaptureDeal(&g_try);
    for (int t = 1; t <= kLookFrames; ++t) {
        StepDeal(&g_try);
        for (int i = 0; i < g_try.count; ++i) {
            int x = 0, y = 0;
            if (!Swattable(g_try.flies[i], &x, &y)) continue;
            if (!g_s.waiting || x != g_s.goalX || y != g_s.goalY) {
                StartPath(frame, x, y);
                g_s.planned = -1;
                g_s.waiting = true;
            }
            MoveAlong(frame, frame + std::max(t, 12));
            return;
        }
    }
}

void SteerFlip(long long frame) {
    if (SceneState != STATE_PLAY_FRAME) return;
    POINT cursor{};
    GetCursorPos(&cursor);
    if (RoundPhase == AwaitingClick && !g_s.leftBoard) {
        g_s.leftBoard = true;
        Click(cursor.x, cursor.y);
        return;
    }
    if (RoundPhase != Playing) {
        g_s = Steerer{};
        return;
    }
    // The flies this flip shows for the first time: their cue, and where the cursor
    // stood. Those swatted are forgotten (their nodes go back to the pool).
    std::map<const FlyState*, std::pair<long long, std::pair<int, int>>> live;
    for (int i = 0; i < Flies.Count(); ++i) {
        const FlyState* f = Flies.PeekAt(i);
        auto it = g_s.shown.find(f);
        if (it != g_s.shown.end())
            live.insert(*it);
        else if (FlyDrawn(static_cast<int>(f->x), static_cast<int>(f->y), PhaseFrames))
            live[f] = {frame, {cursor.x, cursor.y}};
    }
    g_s.shown.swap(live);
    if (g_s.planned < 0 && !Plan(frame)) return Ambush(frame);
    g_s.waiting = false;
    if (frame < g_s.planned) return MoveAlong(frame, g_s.planned);
    Click(g_s.goalX, g_s.goalY);
    g_s.lastSwat = frame;
    g_s.lastX = g_s.goalX;
    g_s.lastY = g_s.goalY;
    g_s.planned = -1;
    ++g_s.swats;
}

}  // namespace

bool ProcessUsage(long* peakKb, double* cpuMs) {
    rusage usage = {};
    if (getrusage(RUSAGE_SELF, &usage) != 0) return false;
    *peakKb = usage.ru_maxrss;
    *cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
             (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    return true;
}

int main(int argc, char** argv) {
    bool touch = false;
    std::vector<char*> args{argv[0]};
    int i = 1;
    for (; i < argc; ++i) {
        if (std::strcmp(argv[i], "--careful") == 0)
            g_careful = true;
        else if (std::strcmp(argv[i], "--touch") == 0)
            touch = true;
        else if (std::strcmp(argv[i], "--steer") == 0)
            g_steerEvery = 1;
        else if (std::strcmp(argv[i], "--steer-every") == 0 && i + 1 < argc &&
                 std::atoi(argv[i + 1]) > 0)
            g_steerEvery = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--bot-seed") == 0 && i + 1 < argc)
            g_rng.seed(static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10)));
        else
            break;
    }
    const bool help = i < argc && std::strcmp(argv[i], "--help") == 0;
    if (i >= argc || std::strcmp(argv[i], "--headless") != 0) {
        std::fputs(kUsage, help ? stdout : stderr);
        return help ? 0 : 2;
    }
    for (; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    const int early = PrepareRun(static_cast<int>(args.size()) - 1, args.data());
    if (early >= 0) {
        std::fflush(nullptr);
        std::_Exit(early);
    }
    if (touch) NoteRunInputSource(kInputTouch);
    AddFlipHook(g_steerEvery > 0 ? SteerFlip : g_careful ? CarefulFlip : OnFlip);
    return PlayRun();
}
