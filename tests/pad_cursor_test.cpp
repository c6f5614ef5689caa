// The gamepad's cursor: the stick's dead zone and its rescaling, the speed at full tilt,
// the precision button, the fraction of a pixel carried from frame to frame, the d-pad's
// step, rest and speed-up, and the screen's edges; then the pad as the game's messages.
#include "platform/services/pad_cursor.h"

#include "platform/stand_in/win32.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/services/options.h"
#include "platform/stand_in/pad_input.h"
#include "platform/stand_in/runtime.h"

namespace {

PadAim Stick(double x, double y, bool precision = false) {
    PadAim a;
    a.x = x;
    a.y = y;
    a.precision = precision;
    return a;
}

PadAim Dpad(bool up, bool down, bool left, bool right, bool precision = false) {
    PadAim a;
    a.up = up;
    a.down = down;
    a.left = left;
    a.right = right;
    a.precision = precision;
    return a;
}

struct Hold {
    PadAim aim;
    int frames;
};

struct Case {
    const char* what;
    PadSettings settings;
    CursorSpot from;
    std::vector<Hold> holds;  // one after the other, one PadMotion throughout
    CursorSpot to;
};

TEST(PadCursor, StickAndDpadMoveTheCursorAsSet) {
    const PadSettings normal;  // 600 px/s, 8 %, 33 %
    const PadSettings slow{250, 8, 33};
    const PadSettings fast{1500, 8, 33};
    const PadSettings noDeadZone{600, 0, 33};
    const PadSettings wideDeadZone{600, 30, 50};
    // clang-format off
    const Case cases[] = {
        {"at rest nothing moves", normal, {320, 240}, {{Stick(0, 0), 60}}, {320, 240}},
        {"inside the dead zone nothing moves", normal, {320, 240}, {{Stick(0.08, 0), 60}, {Stick(0, -0.079), 60}}, {320, 240}},
        {"the dead zone is round: a diagonal inside it stays", normal, {320, 240}, {{Stick(0.056, 0.056), 60}}, {320, 240}},
        // Without the rescaling, 0.0846 of tilt would be 50 px/s at once.
        {"just past the dead zone the cursor creeps (3 px/s)", normal, {320, 240}, {{Stick(0.0846, 0), 60}}, {323, 240}},
        {"half way past the dead zone: half the speed", normal, {100, 240}, {{Stick(0.54, 0), 60}}, {400, 240}},
        {"full tilt: 600 px in a second", normal, {10, 240}, {{Stick(1, 0), 60}}, {610, 240}},
        {"full tilt up and left", normal, {320, 240}, {{Stick(-1, 0), 6}, {Stick(0, -1), 6}}, {260, 180}},
        {"a tilt beyond the rim counts as full, in its direction", normal, {100, 100}, {{Stick(1, 1), 30}}, {312, 312}},
        {"speed 1500: 25 px a frame", fast, {100, 240}, {{Stick(1, 0), 1}}, {125, 240}},
        {"speed 250: 4 px after a frame, 12 after three", slow, {0, 0}, {{Stick(1, 0), 3}}, {12, 0}},
        {"speed 250: the carried fractions make 250 px in a second", slow, {0, 0}, {{Stick(1, 0), 60}}, {250, 0}},
        {"half a pixel a frame still moves: 30 px in a second", slow, {0, 0}, {{Stick(0.1904, 0), 60}}, {30, 0}},
        {"a stop drops the carried fraction (12 + 12, not 25)", slow, {0, 0},
         {{Stick(1, 0), 3}, {Stick(0, 0), 1}, {Stick(1, 0), 3}}, {24, 0}},
        {"a turn drops it too", slow, {100, 0}, {{Stick(1, 0), 3}, {Stick(-1, 0), 3}}, {100, 0}},
        {"precision: a third of the speed", normal, {10, 240}, {{Stick(1, 0, true), 60}}, {208, 240}},
        {"no dead zone: every tilt moves", noDeadZone, {0, 0}, {{Stick(0.05, 0), 60}}, {30, 0}},
        {"a 30 % dead zone: 0.3 stays, 0.65 is half speed", wideDeadZone, {100, 0},
         {{Stick(0.3, 0), 60}, {Stick(0.65, 0), 60}}, {400, 0}},
        {"the right edge holds the cursor", normal, {630, 240}, {{Stick(1, 0), 10}}, {639, 240}},
        {"the bottom edge too", normal, {320, 475}, {{Stick(0, 1), 10}}, {320, 479}},
        {"the left and top edges", normal, {5, 5}, {{Stick(-1, -1), 10}}, {0, 0}},
        {"pressed against an edge, back at once", normal, {630, 240}, {{Stick(1, 0), 30}, {Stick(-1, 0), 1}}, {629, 240}},
        {"a d-pad press moves one pixel", normal, {320, 240}, {{Dpad(false, false, false, true), 1}}, {321, 240}},
        {"held, it rests for a quarter second", normal, {320, 240}, {{Dpad(false, false, false, true), 15}}, {321, 240}},
        {"then starts slowly", normal, {320, 240}, {{Dpad(false, false, false, true), 18}}, {325, 240}},
        {"and reaches full speed", normal, {100, 240}, {{Dpad(false, false, false, true), 60}}, {420, 240}},
        {"two presses, two pixels", normal, {320, 240},
         {{Dpad(true, false, false, false), 1}, {PadAim{}, 1}, {Dpad(true, false, false, false), 1}}, {320, 238}},
        {"a diagonal press steps both ways", normal, {320, 240}, {{Dpad(true, false, true, false), 1}}, {319, 239}},
        {"a held diagonal is as fast as a straight line", normal, {100, 100}, {{Dpad(false, true, false, true), 60}}, {326, 326}},
        {"precision slows the held d-pad too", normal, {100, 240}, {{Dpad(false, false, false, true, true), 60}}, {206, 240}},
        {"a stick that reports nonsense moves nothing", normal, {320, 240}, {{Stick(NAN, 1), 10}, {Stick(1, INFINITY), 10}}, {320, 240}},
        {"a cursor off the screen stays there while nothing moves", normal, {-5, 500}, {{Stick(0, 0), 5}}, {-5, 500}},
    };
    // clang-format on
    for (const Case& c : cases) {
        PadMotion motion;
        CursorSpot at = c.from;
        for (const Hold& h : c.holds)
            for (int i = 0; i < h.frames; ++i) at = StepPadCursor(c.settings, h.aim, at, &motion);
        EXPECT_EQ(at.x, c.to.x) << c.what;
        EXPECT_EQ(at.y, c.to.y) << c.what;
    }
}

// What reached the queue since the last call.
std::vector<MSG> Drain() {
    std::vector<MSG> out;
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message != WM_QUIT) out.push_back(msg);
    return out;
}

TEST(PadInput, ButtonsAndStickBecomeTheMouseAndKeysMessagesOncePerFrame) {
    g_Options = Options{};
    ResetWindowForTest();
    ResetPadForTest();
    Drain();
    const long long sentBefore = PadMessagesSent();

    // Nothing plugged in, or a pad at rest: nothing, however often the input is pumped.
    for (int i = 0; i < 5; ++i) {
        PadPump(PadState{});
        CompleteFlip(false);
    }
    EXPECT_TRUE(Drain().empty());
    EXPECT_EQ(PadMessagesSent(), sentBefore);

    // Full tilt right: one step a frame, however many pumps the frame has.
    PadState right;
    right.aim.x = 1;
    PadPump(right);
    PadPump(right);
    PadPump(right);
    std::vector<MSG> got = Drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, static_cast<UINT>(WM_MOUSEMOVE));
    EXPECT_EQ(got[0].lParam, MakeCursorLParam(330, 240));
    // The next frame starts from where the last move left the cursor, taken or not.
    CompleteFlip(false);
    PadPump(right);
    CompleteFlip(false);
    PadPump(right);
    got = Drain();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].lParam, MakeCursorLParam(350, 240));

    // A and B and Start: the button down at the cursor, Escape, Enter; once per press.
    PadState press;
    press.click = press.escape = press.enter = true;
    PadPump(press);
    PadPump(press);
    PadPump(PadState{});
    got = Drain();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].message, static_cast<UINT>(WM_LBUTTONDOWN));
    EXPECT_EQ(got[0].wParam, 1u);
    EXPECT_EQ(got[0].lParam, MakeCursorLParam(350, 240));
    EXPECT_EQ(got[1].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(got[1].wParam, VK_ESCAPE);
    EXPECT_EQ(got[2].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(got[2].wParam, VK_RETURN);
    EXPECT_EQ(got[3].message, static_cast<UINT>(WM_LBUTTONUP));
    EXPECT_EQ(got[3].wParam, 0u);

    // A mouse move waiting in the queue is where the pad goes on from; the settings in
    // effect are the options' (1500 px/s: 25 px a frame).
    g_Options.pad.speed = 1500;
    PostGameMessage(WM_MOUSEMOVE, 0, MakeCursorLParam(10, 20));
    CompleteFlip(false);
    PadPump(right);
    got = Drain();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].lParam, MakeCursorLParam(35, 20));
    EXPECT_EQ(PadMessagesSent(), sentBefore + 8);

    // Two pads: either's button counts, the stick tilted further steers.
    PadState all, idle, tilted, pressing;
    tilted.aim.y = -0.5;
    pressing.aim.x = 0.2;
    pressing.click = true;
    CombinePad(&all, idle);
    CombinePad(&all, tilted);
    CombinePad(&all, pressing);
    EXPECT_EQ(all.aim.y, -0.5);
    EXPECT_EQ(all.aim.x, 0);
    EXPECT_TRUE(all.click);
    g_Options = Options{};
}

}  // namespace
