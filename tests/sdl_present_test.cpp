// The SDL backend's picture on SDL's dummy video driver, whose window pixels are plain
// memory: on either path (the window's pixels written directly, or SDL's renderer), the
// picture shows at the largest whole factor, centred, in black borders, again after a size
// change; and the mouse over it maps back to the game pixel under it.
#include "platform/stand_in/win32.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/services/options.h"
#include "platform/stand_in/backend.h"
#include "platform/stand_in/ddraw.h"
#include "platform/stand_in/runtime.h"

namespace {

LRESULT Ignore(HWND, UINT, WPARAM, LPARAM) { return 0; }

std::uint8_t Index(int x, int y) { return static_cast<std::uint8_t>(x * 3 + y * 5); }

// Colour i of the test palette; `swapped` exchanges its red and green.
bool g_swapped = false;
Uint32 Colour(std::uint8_t i) {
    const Uint32 a = i, b = 255 - i;
    return ((g_swapped ? b : a) << 16) | ((g_swapped ? a : b) << 8) | Uint32(i / 3);
}

SDL_Window* GameWindow() {
    for (Uint32 id = 1; id < 100; ++id)
        if (SDL_Window* w = SDL_GetWindowFromID(id)) return w;
    return nullptr;
}

void Drain() {
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
}

// Where a mouse event at window pixel (x, y) leaves the game's cursor.
POINT MouseAt(SDL_Window* window, int x, int y) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = SDL_GetWindowID(window);
    e.motion.x = x;
    e.motion.y = y;
    SDL_PushEvent(&e);  // SDL's renderer rewrites it on the way in, as it would a real one
    Drain();
    POINT p{-1, -1};
    GetCursorPos(&p);
    return p;
}

// The window's pixels hold the picture at `scale` from (left, top) and black around it.
void CheckWindow(SDL_Window* window, int scale, int left, int top, const char* path) {
    SDL_Surface* s = SDL_GetWindowSurface(window);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->format->format, SDL_PIXELFORMAT_RGB888);
    ASSERT_EQ(s->w, left * 2 + 640 * scale);
    ASSERT_EQ(s->h, top * 2 + 480 * scale);
    int wrong = 0;
    for (int y = 0; y < s->h; ++y)
        for (int x = 0; x < s->w; ++x) {
            const int gx = (x - left) / scale, gy = (y - top) / scale;
            const bool inside = x >= left && y >= top && gx < 640 && gy < 480;
            const Uint32 want = inside ? Colour(Index(gx, gy)) : 0;
            const Uint32 got =
                static_cast<const Uint32*>(s->pixels)[y * (s->pitch / 4) + x] & 0xFFFFFF;
            if (got != want && ++wrong <= 3)
                ADD_FAILURE() << path << ": pixel (" << x << ", " << y << ")";
        }
    EXPECT_EQ(wrong, 0) << path << " at " << s->w << "x" << s->h;
}

TEST(SdlPresent, BothPathsShowThePictureScaledAndCentredAndMapTheMouseBack) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::vector<std::uint8_t> pixels(640 * 480);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) pixels[y * 640 + x] = Index(x, y);
    PALETTEENTRY palette[256];

    for (const char* path : {"surface", "renderer"}) {
        g_swapped = false;
        for (int i = 0; i < 256; ++i)
            palette[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i),
                          static_cast<BYTE>(i / 3), 0};
        setenv("ZUMBLE_PRESENT", path, 1);
        g_Options = Options{};
        g_Options.window = true;
        g_Options.scale = 2;
        ResetWindowForTest();
        ASSERT_TRUE(PlatformInit());
        WNDCLASSEX wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = Ignore;
        wc.lpszClassName = "PRESENTTEST";
        ASSERT_TRUE(RegisterClassEx(&wc));
        HWND hwnd = CreateWindowEx(0, "PRESENTTEST", "Zumble", 0, 0, 0, 640, 480, nullptr, nullptr,
                                   nullptr, nullptr);
        ASSERT_NE(hwnd, nullptr) << path;
        SDL_Window* window = GameWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_FALSE(SDL_GetWindowFlags(window) & SDL_WINDOW_HIDDEN)
            << path << ": the window shows";

        Drain();
        ActiveBackend().present(pixels.data(), palette);
        CheckWindow(window, 2, 0, 0, path);
        POINT p = MouseAt(window, 2 * 100 + 1, 2 * 200 + 1);
        EXPECT_EQ(p.x, 100) << path;
        EXPECT_EQ(p.y, 200) << path;

        // A full-HD window: still 2x, now in borders 320 wide and 60 high, cleared.
        SDL_SetWindowSize(window, 1920, 1080);
        Drain();
        ActiveBackend().present(pixels.data(), palette);
        CheckWindow(window, 2, 320, 60, path);
        p = MouseAt(window, 320 + 2 * 639 + 1, 60 + 2 * 479 + 1);
        EXPECT_EQ(p.x, 639) << path;
        EXPECT_EQ(p.y, 479) << path;
        p = MouseAt(window, 320 + 2 * 17, 60 + 2 * 33);
        EXPECT_EQ(p.x, 17) << path;
        EXPECT_EQ(p.y, 33) << path;
        p = MouseAt(window, 5, 1075);  // the border beside the picture: its nearest edge
        EXPECT_EQ(p.x, 0) << path;
        EXPECT_EQ(p.y, 479) << path;

        // 3x, and a new palette: every colour follows.
        SDL_SetWindowSize(window, 1930, 1450);
        Drain();
        for (auto& e : palette) std::swap(e.peRed, e.peGreen);
        g_swapped = true;
        ActiveBackend().present(pixels.data(), palette);
        CheckWindow(window, 3, 5, 5, path);

        DestroyWindow(hwnd);
        PlatformShutdown();
    }
    unsetenv("ZUMBLE_PRESENT");
}

}  // namespace
