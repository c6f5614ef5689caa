// replay_bot: the game, run as `zumble` with the given options, with a machine player.
// By default it swats on every frame: the cursor jumps onto the oldest fly it can reach
// and clicks there, frame after frame. With --careful it plays under the simple signs:
// it follows the oldest fly one frame ahead (the cursor on where the fly will be, moving
// every frame, so that it arrives before it presses and never rests), presses 3 pixels
// off the test player's pixel, and waits 133 ms (8 frames) after every other cue and not
// at all after the rest. Its rounds carry no test player's flag (--touch: the touch
// screen's), so that the verifier's signs of machine play, not the flag, must tell them
// apart.
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "objects/instances.h"
#include "objects/sine_cosine.h"
#include "platform/services/input_source.h"
#include "platform/services/process_usage.h"
#include "platform/stand_in/runtime.h"
#include "scenes/play.h"
#include "scenes/play_aim.h"
#include "shell/driver/game_run.h"
#include "shell/globals.h"

namespace {

const char kUsage[] =
    "usage: replay_bot [--careful] [--touch] --headless [ZUMBLE OPTIONS...]\n"
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
    AddFlipHook(g_careful ? CarefulFlip : OnFlip);
    return PlayRun();
}
