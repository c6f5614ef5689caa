// The page's gamepads through the browser's Gamepad API, read at every input pump and
// handed to the pad input every platform shares (platform/stand_in/pad_input.h). A browser
// shows a pad to the page only once one of its buttons has been pressed; the page says
// so (page/gamepad.js). Pads without the "standard" layout are read by the same
// button numbers, which most of them follow.
#include <emscripten/emscripten.h>

#include "platform/services/options.h"
#include "platform/stand_in/pad_input.h"
#include "platform/web/web_backend.h"

namespace {

constexpr int kMaxPads = 4;
// The bits WebReadPads gives for each pad's buttons.
enum : int {
    kClick = 1,
    kEscape = 2,
    kEnter = 4,
    kPrecision = 8,
    kUp = 16,
    kDown = 32,
    kLeft = 64,
    kRight = 128
};

// Each connected pad's left stick (two numbers) and buttons (bits); returns how many.
EM_JS(int, WebReadPads, (double* sticks, int* buttons, int max), {
    return zumbleReadPads(
        function(i, x, y, bits) {
            HEAPF64[(sticks >> 3) + 2 * i] = x;
            HEAPF64[(sticks >> 3) + 2 * i + 1] = y;
            HEAP32[(buttons >> 2) + i] = bits;
        },
        max);
});

int Within(int v, int low, int high) { return v < low ? low : (v > high ? high : v); }

}  // namespace

void WebPadPump() {
    double sticks[2 * kMaxPads];
    int buttons[kMaxPads];
    const int count = WebReadPads(sticks, buttons, kMaxPads);
    PadState all;
    for (int i = 0; i < count; ++i) {
        PadState one;
        one.aim.x = sticks[2 * i];
        one.aim.y = sticks[2 * i + 1];
        const int b = buttons[i];
        one.click = b & kClick;
        one.escape = b & kEscape;
        one.enter = b & kEnter;
        one.aim.precision = b & kPrecision;
        one.aim.up = b & kUp;
        one.aim.down = b & kDown;
        one.aim.left = b & kLeft;
        one.aim.right = b & kRight;
        CombinePad(&all, one);
    }
    PadPump(all);
}

// The page's settings panel: the new settings take effect at the next frame.
extern "C" EMSCRIPTEN_KEEPALIVE void ZumbleSetPadSettings(int speed, int deadZone, int precision) {
    g_Options.pad.speed = Within(speed, kPadSpeedMin, kPadSpeedMax);
    g_Options.pad.deadZone = Within(deadZone, kPadDeadZoneMin, kPadDeadZoneMax);
    g_Options.pad.precision = Within(precision, kPadPrecisionMin, kPadPrecisionMax);
}
