#include "platform/stand_in/pad_input.h"

#include "platform/stand_in/win32.h"

#include "platform/services/input_source.h"
#include "platform/services/options.h"
#include "platform/stand_in/runtime.h"

namespace {

PadState g_last;
PadMotion g_motion;
long long g_steppedFlip = -1;
long long g_sent = 0;

// Every message a pad sends goes through here: the one place that knows a pad, not a
// mouse, is playing, so the round's replay says a pad played it.
void PostFromPad(UINT message, WPARAM wParam, LPARAM lParam) {
    ++g_sent;
    NoteInputSource(kInputGamepad);
    PostGameMessage(message, wParam, lParam);
}

}  // namespace

void CombinePad(PadState* all, const PadState& one) {
    const PadSettings& s = g_Options.pad;
    if (PadStickTilt(one.aim.x, one.aim.y, s.deadZone) >
        PadStickTilt(all->aim.x, all->aim.y, s.deadZone)) {
        all->aim.x = one.aim.x;
        all->aim.y = one.aim.y;
    }
    all->aim.up |= one.aim.up;
    all->aim.down |= one.aim.down;
    all->aim.left |= one.aim.left;
    all->aim.right |= one.aim.right;
    all->aim.precision |= one.aim.precision;
    all->click |= one.click;
    all->escape |= one.escape;
    all->enter |= one.enter;
}

void PadPump(const PadState& now) {
    // The buttons before the move: a press lands where the player sees the cursor.
    POINT at = PostedCursorPos();
    if (now.click != g_last.click)
        PostFromPad(now.click ? WM_LBUTTONDOWN : WM_LBUTTONUP, now.click ? 1 : 0,
                    MakeCursorLParam(at.x, at.y));
    if (now.escape && !g_last.escape) PostFromPad(WM_KEYDOWN, VK_ESCAPE, 1);
    if (now.enter && !g_last.enter) PostFromPad(WM_KEYDOWN, VK_RETURN, 1);
    g_last = now;

    const long long flip = FlipCount();
    if (flip == g_steppedFlip) return;
    g_steppedFlip = flip;
    const CursorSpot to = StepPadCursor(g_Options.pad, now.aim, CursorSpot{at.x, at.y}, &g_motion);
    if (to.x != at.x || to.y != at.y) PostFromPad(WM_MOUSEMOVE, 0, MakeCursorLParam(to.x, to.y));
}

long long PadMessagesSent() { return g_sent; }

void ResetPadForTest() {
    g_last = PadState{};
    g_motion = PadMotion{};
    g_steppedFlip = -1;
}
