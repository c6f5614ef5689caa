// The player's backend on Windows: the window of win32_window.cpp, the wave-out sound of
// win32_audio.cpp and the high-resolution pacing of win32_pacing.cpp, behind the one
// backend interface; --headless chooses the headless backend as on every platform.
#include "platform/win32/win32_backend.h"

#include <cstdio>

#include "platform/services/options.h"
#include "platform/stand_in/backend.h"
#include "platform/stand_in/ddraw.h"
#include "platform/stand_in/runtime.h"
#include "platform/stand_in/sound_mixer.h"
#include "platform/win32/win32_audio.h"
#include "platform/win32/win32_pacing.h"
#include "platform/win32/win32_pad.h"
#include "platform/win32/win32_window.h"

namespace {

static_assert(sizeof(PALETTEENTRY) == 4, "the window side reads the palette as 4 bytes an entry");

void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    PostGameMessage(message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
}

bool g_display = false;
Win32EndSession g_endSession = nullptr;

bool Start() {
    if (!g_Options.virtualPad.empty()) {
        // The tests steer zumble.exe's XInput with a tester's DLL instead (tests/windows/).
        std::fprintf(stderr,
                     "zumble: --virtual-pad is the Linux game's (SDL's virtual joystick)\n");
        return false;
    }
    if (!g_endSession) {
        // The entry's mistake, not the player's: caught by the first windowed start.
        std::fprintf(stderr,
                     "zumble: the Windows backend was started without Win32SetEndSession\n");
        return false;
    }
    g_display = Win32WindowStart(Post, g_endSession);
    if (!g_display)
        std::fprintf(stderr, "zumble: no desktop to open a window on\n");
    else
        Win32PadStart();
    return true;  // DirectDraw reports a missing display to the game
}

void Shutdown() {
    Win32PadStop();
    Win32WindowShutdown();
    Win32StopPacing();
}

bool HasDisplay() { return g_display; }

void PumpInput() {
    Win32PumpMessages();
    Win32PadPump();
}

bool CreateGameWindow(const char* title) {
    return Win32CreateWindow(title, !g_Options.window, g_Options.scale, g_Options.savedScale);
}

void Present(const std::uint8_t* pixels, const PALETTEENTRY* palette) {
    Win32Present(pixels, reinterpret_cast<const std::uint8_t*>(palette));
}

// The clock stands still between two flips: the frame's slot (win32_pacing.h).
DWORD Ticks() { return Win32PacedTicks(); }

bool OpenAudio(AudioPull pull) { return Win32OpenAudio(pull, MIX_RATE, MIX_CHANNELS); }

// clang-format off
const Backend kWin32 = {
    .name             = "win32",
    .start            = Start,
    .shutdown         = Shutdown,
    .hasDisplay       = HasDisplay,
    .createWindow     = CreateGameWindow,
    .destroyWindow    = Win32DestroyWindow,
    .pumpInput        = PumpInput,
    .present          = Present,
    .showCursor       = Win32ShowCursor,
    .messageBox       = Win32MessageBox,
    .ticks            = Ticks,
    .calendarTime     = SystemCalendarTime,
    .waitForFrame     = Win32WaitForFrame,
    .afterFlip        = NothingAfterFlip,
    .openAudio        = OpenAudio,
    .closeAudio       = Win32CloseAudio,
    .mixWithoutOutput = DiscardMix,
};
// clang-format on

}  // namespace

void Win32SetEndSession(Win32EndSession endSession) { g_endSession = endSession; }

const Backend& ChooseBackend() { return g_Options.headless ? HeadlessBackend() : kWin32; }
