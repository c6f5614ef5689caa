// zumble-ddraw.exe: the port's own functions that the game code calls, on the system's
// real window, DirectDraw and DirectSound: flip count and hooks, the window's messages,
// the cursor, the calendar time, and the start and end of the platform.
#include "platform/win32/win32_api.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/ddraw_real/ddraw_real_hooks.h"
#include "platform/services/options.h"
#include "platform/stand_in/runtime.h"
#include "platform/stand_in/sound_log.h"
#include "platform/win32/win32_pacing.h"

namespace {

long long g_flips = 0;
FlipHook g_hooks[kMaxFlipHooks] = {};
HWND g_window = nullptr;

}  // namespace

long long FlipCount() { return g_flips; }

void AddFlipHook(FlipHook hook) {
    for (auto& slot : g_hooks)
        if (!slot) {
            slot = hook;
            return;
        }
    std::fprintf(stderr, "zumble: more than %d flip hooks\n", kMaxFlipHooks);
    std::abort();
}

void CompleteRealFlip() {
    ++g_flips;
    for (auto hook : g_hooks)
        if (hook) hook(g_flips);
}

void SetRealGameWindow(HWND window) { g_window = window; }

void PostGameMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_window) PostMessageA(g_window, message, wParam, lParam);
}

// Full screen at 640x480, game coordinates are screen coordinates.
void SetGameCursor(int x, int y) { SetCursorPos(x, y); }

std::time_t CalendarTime() { return std::time(nullptr); }

// The system's buffers report to no sound log here (the option is refused).
void SetSoundLogName(IDirectSoundBuffer*, const char*) {}

bool PlatformInit() { return true; }

void PlatformShutdown() { Win32StopPacing(); }

// Here the system's window ends the program (WM_CLOSE reaches the viewer's own input).
bool TerminationAsked() { return false; }
