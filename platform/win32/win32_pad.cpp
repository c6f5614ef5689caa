// XInput is loaded when the game starts, from the system's own folder only, from the
// first of the DLLs Windows has (xinput1_4 since Windows 8, xinput1_3 with the DirectX
// runtime, xinput9_1_0 since Vista): zumble.exe needs no DLL that Windows lacks, and a
// DLL dropped into the game's folder is never taken for it.
#include "platform/win32/win32_pad.h"

#include "platform/win32/win32_api.h"

#include <xinput.h>

#include "platform/stand_in/pad_input.h"

namespace {

using GetStateFunction = DWORD(WINAPI*)(DWORD user, XINPUT_STATE* state);

HMODULE g_library = nullptr;
GetStateFunction g_getState = nullptr;
bool g_connected[XUSER_MAX_COUNT] = {};
// Asking an empty slot is slow on some systems: each is looked at again once a second,
// which is how a pad plugged in while the game runs is found.
DWORD g_lookedAt[XUSER_MAX_COUNT] = {};
constexpr DWORD kLookAgainMs = 1000;

double Axis(SHORT v) { return v < 0 ? v / 32768.0 : v / 32767.0; }

}  // namespace

void Win32PadStart() {
    static const char* const kNames[] = {"xinput1_4.dll", "xinput1_3.dll", "xinput9_1_0.dll"};
    for (const char* name : kNames) {
        g_library = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (g_library) break;
    }
    if (!g_library) return;
    g_getState = reinterpret_cast<GetStateFunction>(
        reinterpret_cast<void*>(GetProcAddress(g_library, "XInputGetState")));
    if (!g_getState) Win32PadStop();
}

void Win32PadStop() {
    if (g_library) FreeLibrary(g_library);
    g_library = nullptr;
    g_getState = nullptr;
}

void Win32PadPump() {
    if (!g_getState) return;
    PadState all;
    // A pad steers the game only while its window has the focus, as a mouse does.
    if (GetActiveWindow() != nullptr) {
        const DWORD now = GetTickCount();
        for (DWORD user = 0; user < XUSER_MAX_COUNT; ++user) {
            if (!g_connected[user] && g_lookedAt[user] != 0 &&
                now - g_lookedAt[user] < kLookAgainMs)
                continue;
            XINPUT_STATE state = {};
            g_connected[user] = g_getState(user, &state) == ERROR_SUCCESS;
            if (!g_connected[user]) {
                g_lookedAt[user] = now | 1;  // never 0, which means "not yet"
                continue;
            }
            const XINPUT_GAMEPAD& pad = state.Gamepad;
            PadState one;
            one.aim.x = Axis(pad.sThumbLX);
            one.aim.y = -Axis(pad.sThumbLY);  // XInput's stick points up, the screen's y down
            one.aim.up = pad.wButtons & XINPUT_GAMEPAD_DPAD_UP;
            one.aim.down = pad.wButtons & XINPUT_GAMEPAD_DPAD_DOWN;
            one.aim.left = pad.wButtons & XINPUT_GAMEPAD_DPAD_LEFT;
            one.aim.right = pad.wButtons & XINPUT_GAMEPAD_DPAD_RIGHT;
            one.aim.precision = pad.wButtons & XINPUT_GAMEPAD_RIGHT_SHOULDER;
            one.click = pad.wButtons & XINPUT_GAMEPAD_A;
            one.escape = pad.wButtons & XINPUT_GAMEPAD_B;
            one.enter = pad.wButtons & XINPUT_GAMEPAD_START;
            CombinePad(&all, one);
        }
    }
    PadPump(all);
}
