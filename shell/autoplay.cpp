#include "shell/autoplay.h"

#include "platform/services/input_source.h"
#include "platform/stand_in/runtime.h"
#include "scenes/play.h"
#include "scenes/play_aim.h"
#include "shell/globals.h"

namespace {

constexpr int kClickSpacing = 4;  // frames between two clicks at least

long long lastClickFrame = -kClickSpacing;
bool leftBoard = false;

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

void StartAutoplay() {
    // Its rounds say so in their replays.
    NoteRunInputSource(kInputTestPlayer);
    lastClickFrame = -kClickSpacing;
    leftBoard = false;
    AddFlipHook(OnFlip);
}
