// The SDL backend's window events as the game sees them, on SDL's dummy video driver:
// focus changes after the start, and a lost render device, become the activations that
// drive the game's restore path; the focus SDL reports as the window appears does not.

#include "platform/stand_in/win32.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/services/options.h"
#include "platform/stand_in/ddraw.h"
#include "platform/stand_in/runtime.h"

namespace {

std::vector<WPARAM> g_activations;

LRESULT RecordActivations(HWND, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_ACTIVATEAPP) g_activations.push_back(wParam);
    return 0;
}

void Push(Uint32 type, Uint8 windowEvent = 0) {
    SDL_Event e{};
    e.type = type;
    e.window.event = windowEvent;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
}

std::vector<WPARAM> DrainActivations() {
    g_activations.clear();
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
    return g_activations;
}

TEST(SdlBackend, OnlyFocusChangesAfterTheStartAndALostDeviceActivateTheGame) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    g_Options = Options{};
    g_Options.window = true;
    g_Options.scale = 1;
    ASSERT_TRUE(PlatformInit());
    WNDCLASSEX wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = RecordActivations;
    wc.lpszClassName = "SDLTEST";
    ASSERT_TRUE(RegisterClassEx(&wc));
    HWND hwnd = CreateWindowEx(0, "SDLTEST", "Zumble", 0, 0, 0, 640, 480, nullptr, nullptr, nullptr,
                               nullptr);
    ASSERT_NE(hwnd, nullptr);
    LPDIRECTDRAW dd = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    desc.dwWidth = 640;
    desc.dwHeight = 480;
    LPDIRECTDRAWSURFACE surface = nullptr;
    ASSERT_EQ(dd->CreateSurface(&desc, &surface, nullptr), DD_OK);

    // The window's own appearance: the game was activated while creating it.
    DrainActivations();
    Push(SDL_WINDOWEVENT, SDL_WINDOWEVENT_FOCUS_GAINED);
    EXPECT_EQ(DrainActivations(), std::vector<WPARAM>{});
    // Away and back, each told once.
    Push(SDL_WINDOWEVENT, SDL_WINDOWEVENT_FOCUS_LOST);
    Push(SDL_WINDOWEVENT, SDL_WINDOWEVENT_FOCUS_LOST);
    Push(SDL_WINDOWEVENT, SDL_WINDOWEVENT_FOCUS_GAINED);
    EXPECT_EQ(DrainActivations(), (std::vector<WPARAM>{0, 1}));
    // A lost device loses the surfaces and activates the game, which restores them.
    Push(SDL_RENDER_DEVICE_RESET);
    EXPECT_EQ(DrainActivations(), std::vector<WPARAM>{1});
    EXPECT_EQ(surface->IsLost(), DDERR_SURFACELOST);
    // Without the focus, the activation waits for the focus to come back.
    Push(SDL_WINDOWEVENT, SDL_WINDOWEVENT_FOCUS_LOST);
    Push(SDL_RENDER_TARGETS_RESET);
    Push(SDL_WINDOWEVENT, SDL_WINDOWEVENT_FOCUS_GAINED);
    EXPECT_EQ(DrainActivations(), (std::vector<WPARAM>{0, 1}));

    surface->Release();
    dd->Release();
    DestroyWindow(hwnd);
    PlatformShutdown();
}

}  // namespace
