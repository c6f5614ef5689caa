// replay_bot: the game, run as `zumble` with the given options, with a machine player
// that swats on every frame: the cursor jumps onto the oldest fly it can reach and
// clicks there, frame after frame. Its rounds carry no test player's flag, so that the
// verifier's signs of machine play, not the flag, must tell them apart.
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/core/process_usage.h"
#include "platform/core/runtime.h"
#include "scenes/play.h"
#include "scenes/play_aim.h"
#include "shell/driver/game_run.h"
#include "shell/globals.h"

namespace {

const char kUsage[] =
    "usage: replay_bot --headless [ZUMBLE OPTIONS...]\n"
    "\n"
    "Runs the game as zumble would with these options (e.g. --script FILE to reach a\n"
    "round, --frames N, --time SECONDS), with a machine player that, on every frame of a\n"
    "round, moves the cursor onto the oldest fly a cursor on the screen can reach and\n"
    "clicks there, and clicks once to leave the results. The round's replay is kept as\n"
    "the game keeps any (replays/last.zrp beside hiscoa.sav), without the test player's\n"
    "flag.\n";

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
    if (argc < 2 || std::strcmp(argv[1], "--headless") != 0) {
        std::fputs(kUsage, argc >= 2 && std::strcmp(argv[1], "--help") == 0 ? stdout : stderr);
        return argc >= 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    const int early = PrepareRun(argc, argv);
    if (early >= 0) {
        std::fflush(nullptr);
        std::_Exit(early);
    }
    AddFlipHook(OnFlip);
    return PlayRun();
}
