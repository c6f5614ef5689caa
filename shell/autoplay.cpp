#include "shell/autoplay.h"

#include "objects/instances.h"
#include "platform/core/input_source.h"
#include "platform/core/runtime.h"
#include "scenes/play.h"
#include "shell/globals.h"

namespace {

constexpr int kClickSpacing = 4;  // frames between two clicks at least
constexpr int kScreenW = 640;
constexpr int kScreenH = 480;

long long lastClickFrame = -kClickSpacing;
bool leftBoard = false;

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// The cursor range whose hot spot (cursor + 8) falls in a fly's swat box, cut to the
// screen; false when no cursor on the screen reaches the fly.
bool Reach(int flyPos, int screenSize, int* aim) {
    int lo = flyPos - 24 > 0 ? flyPos - 24 : 0;
    int hi = flyPos + 26 < screenSize - 1 ? flyPos + 26 : screenSize - 1;
    if (lo > hi) return false;
    // The middle of the box leaves the most room for the step the fly takes before the
    // click is handled.
    *aim = Clamp(flyPos + 1, lo, hi);
    return true;
}

void Click(long long frame, int x, int y) {
    SetGameCursor(x, y);
    LPARAM where = static_cast<LPARAM>((y & 0xFFFF) << 16 | (x & 0xFFFF));
    PostGameMessage(WM_LBUTTONDOWN, 1, where);
    PostGameMessage(WM_LBUTTONUP, 0, where);
    lastClickFrame = frame;
}

void OnFlip(long long frame) {
    if (SceneState != STATE_PLAY_FRAME) return;
    if (RoundPhase == Playing) leftBoard = false;
    if (frame - lastClickFrame < kClickSpacing) return;

    if (RoundPhase == AwaitingClick) {
        if (leftBoard) return;
        leftBoard = true;
        POINT cursor{};
        GetCursorPos(&cursor);
        Click(frame, cursor.x, cursor.y);
        return;
    }
    if (RoundPhase != Playing) return;

    int x, y;
    if (AutoplayAim(&x, &y)) Click(frame, x, y);
}

}  // namespace

bool AutoplayAimAt(int flyX, int flyY, int* x, int* y) { return Reach(flyX, kScreenW, x) && Reach(flyY, kScreenH, y); }

bool AutoplayAim(int* x, int* y) {
    // The oldest fly that a cursor on the screen can hit.
    for (DrawPos* p = Flies.Get(); !IsEnd(p); p = p->next)
        if (AutoplayAimAt(p->x, p->y, x, y)) return true;
    return false;
}

void StartAutoplay() {
    // Its rounds say so in their replays.
    NoteRunInputSource(kInputTestPlayer);
    lastClickFrame = -kClickSpacing;
    leftBoard = false;
    AddFlipHook(OnFlip);
}
