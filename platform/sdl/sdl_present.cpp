#include "platform/sdl/sdl_present.h"

#include <SDL_opengl.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/sdl/frame_pacing.h"
#include "platform/sdl/present_plan.h"
#include "platform/services/options.h"
#include "platform/services/overlay_draw.h"
#include "platform/services/viewer_input.h"
#include "platform/stand_in/ddraw.h"
#include "platform/stand_in/scale_convert.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kFrame = std::chrono::nanoseconds(1000000000LL / 60);

SDL_Window* g_window = nullptr;
PresentRequest g_request = PresentRequest::Auto;
PresentFacts g_facts;
char g_glName[256] = "";
PresentPath g_path = PresentPath::Renderer;

// The renderer path.
SDL_Renderer* g_renderer = nullptr;
SDL_Texture* g_texture = nullptr;
Uint32 g_rgb[640 * 480];

// The replay viewer's overlay or a round's splits, drawn at the picture's size over the
// scaled picture (a texture blended over it, or blended into the window's pixels block
// by block).
std::uint32_t g_overlay[kOverlayWidth * kOverlayHeight];
bool g_overlayDrawn = false;
SDL_Texture* g_overlayTexture = nullptr;

// The window-pixels path: the surface last drawn into, where the picture sits in it, and
// the palette's colours in its pixel format.
SDL_Surface* g_surface = nullptr;
int g_surfaceWidth = 0;
int g_surfaceHeight = 0;
Letterbox g_box;
bool g_wholeWindow = true;  // the next update sends the borders too
PixelLayout g_layout;
std::uint32_t g_table[256];
PALETTEENTRY g_tablePalette[256];
bool g_tableValid = false;

// Vsync pacing: refreshes per game frame (0: the timer paces), and the check that the
// driver really waits for them.
int g_refreshes = 0;
VsyncTrust g_vsync;
Clock::time_point g_lastFrame;

// The layout of a 32-bit pixel format with 8-bit channels; false for any other.
bool LayoutOf(Uint32 format, PixelLayout* layout) {
    int bpp = 0;
    Uint32 r = 0, g = 0, b = 0, a = 0;
    if (SDL_BYTESPERPIXEL(format) != 4 || !SDL_PixelFormatEnumToMasks(format, &bpp, &r, &g, &b, &a))
        return false;
    const auto shiftOf = [](Uint32 mask, int* shift) {
        for (int s = 0; s <= 24; s += 8)
            if (mask == 0xFFu << s) {
                *shift = s;
                return true;
            }
        return false;
    };
    PixelLayout l;
    if (!shiftOf(r, &l.redShift) || !shiftOf(g, &l.greenShift) || !shiftOf(b, &l.blueShift))
        return false;
    l.alwaysSet = a;
    *layout = l;
    return true;
}

bool CreateTexture() {
    if (g_overlayTexture) SDL_DestroyTexture(g_overlayTexture);
    g_overlayTexture = nullptr;
    if (g_texture) SDL_DestroyTexture(g_texture);
    g_texture = SDL_CreateTexture(g_renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                  640, 480);
    return g_texture != nullptr;
}

void DropRenderer() {
    if (g_overlayTexture) SDL_DestroyTexture(g_overlayTexture);
    g_overlayTexture = nullptr;
    if (g_texture) SDL_DestroyTexture(g_texture);
    if (g_renderer) SDL_DestroyRenderer(g_renderer);
    g_texture = nullptr;
    g_renderer = nullptr;
}

bool CreateRenderer() {
    g_renderer = SDL_CreateRenderer(g_window, -1, 0);
    if (!g_renderer) g_renderer = SDL_CreateRenderer(g_window, -1, SDL_RENDERER_SOFTWARE);
    return g_renderer != nullptr;
}

// What the renderer says of itself, and for GL, the driver's own name: a GL driver that
// rasterises on the CPU calls itself accelerated too.
void ProbeRenderer() {
    g_facts.haveRenderer = g_renderer || CreateRenderer();
    g_facts.rendererAccelerated = false;
    g_facts.glRenderer = nullptr;
    if (!g_renderer) return;
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(g_renderer, &info) != 0) return;
    g_facts.rendererAccelerated = (info.flags & SDL_RENDERER_ACCELERATED) != 0;
    if (SDL_strncmp(info.name, "opengl", 6) != 0)
        return;  // opengl, opengles2: the context is current
    using GetString = const GLubyte*(APIENTRY*)(GLenum);
    const auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    const GLubyte* name = getString ? getString(GL_RENDERER) : nullptr;
    if (!name) return;
    SDL_strlcpy(g_glName, reinterpret_cast<const char*>(name), sizeof g_glName);
    g_facts.glRenderer = g_glName;
}

void ChooseVsync() {
    int refreshes = 0;
    if (const double hz = SimulatedDisplayHz(); hz > 0) {
        // A test's display: its refreshes are waited for by the clock, not the driver.
        if (g_renderer) SDL_RenderSetVSync(g_renderer, 0);
        g_refreshes =
            g_Options.timedemo ? 0 : RefreshesPerGameFrame(static_cast<int>(std::lround(hz)));
        g_lastFrame = Clock::time_point();
        return;
    }
    if (g_path == PresentPath::Renderer && g_renderer && !g_vsync.refused && !g_Options.timedemo) {
        SDL_DisplayMode mode;
        const int display = SDL_GetWindowDisplayIndex(g_window);
        if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0)
            refreshes = RefreshesPerGameFrame(mode.refresh_rate);
    }
    if (refreshes > 0 && SDL_RenderSetVSync(g_renderer, 1) != 0) refreshes = 0;
    if (refreshes == 0 && g_renderer) SDL_RenderSetVSync(g_renderer, 0);
    g_refreshes = refreshes;
    g_vsync.earlyFrames = 0;
    g_lastFrame = Clock::time_point();
}

// Starts drawing along `path`; the renderer where the window's pixels cannot be had.
bool UsePath(PresentPath path) {
    if (path == PresentPath::Surface) {
        DropRenderer();
        SDL_Surface* surface = SDL_GetWindowSurface(g_window);
        if (surface && LayoutOf(surface->format->format, &g_layout)) {
            g_path = PresentPath::Surface;
            g_surface = nullptr;  // cleared and sized at the next frame
            g_tableValid = false;
            return true;
        }
    }
    if (!g_renderer && !CreateRenderer()) return false;
    if (!g_texture && !CreateTexture()) return false;
    // SDL letterboxes, scales by whole factors and maps the mouse back to 640x480.
    SDL_RenderSetLogicalSize(g_renderer, 640, 480);
    SDL_RenderSetIntegerScale(g_renderer, SDL_TRUE);
    SDL_SetRenderDrawColor(g_renderer, 0, 0, 0, 255);
    g_path = PresentPath::Renderer;
    return true;
}

// Chooses again from what SDL now reports of the window (its pixel format may differ on
// another display) and the renderer's report from the start.
void ChooseAgain() {
    g_facts.surfaceUsable = LayoutOf(SDL_GetWindowPixelFormat(g_window), &g_layout);
    const PresentPath path = ChoosePresentPath(g_request, g_facts);
    if (path != g_path && !UsePath(path)) UsePath(g_path);
    ChooseVsync();
}

// A new window surface (the first, or after a size change): its borders are cleared once
// here; after that only the picture is written.
bool TakeSurface(SDL_Surface* surface) {
    if (!LayoutOf(surface->format->format, &g_layout)) return false;
    g_surface = surface;
    g_surfaceWidth = surface->w;
    g_surfaceHeight = surface->h;
    g_box = FitPicture(surface->w, surface->h);
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    g_wholeWindow = true;
    g_tableValid = false;
    return true;
}

// The overlay for the frame about to be shown; false when there is none.
bool DrawOverlay() {
    g_overlayDrawn = DrawActiveOverlay(g_overlay);
    return g_overlayDrawn;
}

// Blends the overlay into the window's pixels, each layer pixel over its scale x scale block.
void BlendOverlayIntoSurface(SDL_Surface* surface) {
    const int s = g_box.scale;
    for (int y = 0; y < kOverlayHeight; ++y) {
        for (int x = 0; x < kOverlayWidth; ++x) {
            const std::uint32_t o = g_overlay[y * kOverlayWidth + x];
            const std::uint32_t a = o >> 24;
            if (a == 0) continue;
            for (int dy = 0; dy < s; ++dy) {
                const int wy = g_box.y + y * s + dy;
                if (wy < 0 || wy >= surface->h) continue;
                auto* row = reinterpret_cast<std::uint32_t*>(
                    static_cast<std::uint8_t*>(surface->pixels) +
                    static_cast<std::ptrdiff_t>(wy) * surface->pitch);
                for (int dx = 0; dx < s; ++dx) {
                    const int wx = g_box.x + x * s + dx;
                    if (wx < 0 || wx >= surface->w) continue;
                    std::uint32_t& p = row[wx];
                    const auto mix = [&](int overlayShift, int shift) {
                        const std::uint32_t src = (o >> overlayShift) & 0xFF,
                                            dst = (p >> shift) & 0xFF;
                        return ((src * a + dst * (255 - a) + 127) / 255) << shift;
                    };
                    p = mix(16, g_layout.redShift) | mix(8, g_layout.greenShift) |
                        mix(0, g_layout.blueShift) | g_layout.alwaysSet;
                }
            }
        }
    }
}

void PresentToSurface(const std::uint8_t* pixels, const PALETTEENTRY* palette) {
    SDL_Surface* surface = SDL_GetWindowSurface(g_window);
    if (!surface) return;  // none to be had right now (a minimised window): skip the frame
    if (surface != g_surface || surface->w != g_surfaceWidth || surface->h != g_surfaceHeight) {
        if (!TakeSurface(surface)) {
            // Pixels this path cannot write: the renderer takes over for good.
            g_facts.surfaceUsable = false;
            if (UsePath(PresentPath::Renderer)) ChooseVsync();
            return;
        }
    }
    if (!g_tableValid || std::memcmp(palette, g_tablePalette, sizeof g_tablePalette) != 0) {
        std::memcpy(g_tablePalette, palette, sizeof g_tablePalette);
        BuildColourTable(palette, g_layout, g_table);
        g_tableValid = true;
    }
    const bool lock = SDL_MUSTLOCK(surface);
    if (lock && SDL_LockSurface(surface) != 0) return;
    ScaleConvert(pixels, g_table, g_box, surface->pixels, surface->w, surface->h, surface->pitch);
    if (DrawOverlay()) BlendOverlayIntoSurface(surface);
    if (lock) SDL_UnlockSurface(surface);
    if (g_wholeWindow) {
        g_wholeWindow = false;
        SDL_UpdateWindowSurface(g_window);
        return;
    }
    SDL_Rect picture = {g_box.x, g_box.y, 640 * g_box.scale, 480 * g_box.scale};
    const SDL_Rect window = {0, 0, surface->w, surface->h};
    if (SDL_IntersectRect(&picture, &window, &picture))
        SDL_UpdateWindowSurfaceRects(g_window, &picture, 1);
}

// The picture, and the overlay over it when one was drawn.
void RenderPicture() {
    SDL_RenderClear(g_renderer);
    SDL_RenderCopy(g_renderer, g_texture, nullptr, nullptr);
    if (g_overlayDrawn && g_overlayTexture)
        SDL_RenderCopy(g_renderer, g_overlayTexture, nullptr, nullptr);
}

void PresentToRenderer(const std::uint8_t* pixels, const PALETTEENTRY* palette) {
    if (!g_renderer || !g_texture) return;
    PaletteToArgb(pixels, 640 * 480, palette, g_rgb);
    SDL_UpdateTexture(g_texture, nullptr, g_rgb, 640 * 4);
    if (DrawOverlay()) {
        if (!g_overlayTexture) {
            g_overlayTexture =
                SDL_CreateTexture(g_renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                  kOverlayWidth, kOverlayHeight);
            if (g_overlayTexture) SDL_SetTextureBlendMode(g_overlayTexture, SDL_BLENDMODE_BLEND);
        }
        if (g_overlayTexture)
            SDL_UpdateTexture(g_overlayTexture, nullptr, g_overlay, kOverlayWidth * 4);
    }
    RenderPicture();
    SDL_RenderPresent(g_renderer);
}

}  // namespace

bool SdlPresentOpen(SDL_Window* window) {
    g_window = window;
    // The window's own pixels, never a texture that SDL would put behind them on its own.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    const char* asked = SDL_getenv("ZUMBLE_PRESENT");
    if (!ParsePresentRequest(asked, &g_request)) {
        std::fprintf(
            stderr,
            "zumble: ZUMBLE_PRESENT is auto, renderer or surface, not '%s': choosing by itself\n",
            asked);
        g_request = PresentRequest::Auto;
    }
    g_facts = PresentFacts();
    g_facts.surfaceUsable = LayoutOf(SDL_GetWindowPixelFormat(window), &g_layout);
    g_vsync = VsyncTrust();
    if (g_request == PresentRequest::Surface && g_facts.surfaceUsable) {
        g_facts.haveRenderer = true;  // not tried: nothing asks for it
    } else {
        ProbeRenderer();
    }
    if (!UsePath(ChoosePresentPath(g_request, g_facts))) {
        std::fprintf(stderr, "zumble: cannot draw in the window: %s\n", SDL_GetError());
        SdlPresentClose();
        return false;
    }
    ChooseVsync();
    return true;
}

void SdlPresentClose() {
    DropRenderer();
    g_surface = nullptr;
    g_window = nullptr;
}

void SdlPresentBlank() {
    if (g_path == PresentPath::Renderer) {
        if (!g_renderer) return;
        SDL_RenderClear(g_renderer);
        SDL_RenderPresent(g_renderer);
        return;
    }
    SDL_Surface* surface = g_window ? SDL_GetWindowSurface(g_window) : nullptr;
    if (surface && TakeSurface(surface)) {
        SDL_UpdateWindowSurface(g_window);
        g_wholeWindow = false;
    }
}

void SdlPresentFrame(const std::uint8_t* pixels, const PALETTEENTRY* palette) {
    if (!g_window) return;
    if (g_path == PresentPath::Surface)
        PresentToSurface(pixels, palette);
    else
        PresentToRenderer(pixels, palette);
}

void SdlPresentWindowEvent(const SDL_WindowEvent& event) {
    if (!g_window || event.windowID != SDL_GetWindowID(g_window)) return;
    switch (event.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_DISPLAY_CHANGED:
        g_surface = nullptr;
        VsyncTryAgain(&g_vsync);
        ChooseAgain();
        break;
    case SDL_WINDOWEVENT_EXPOSED:
        g_wholeWindow = true;
        SdlPresentPacingMayHaveChanged();
        break;
    default: break;
    }
}

void SdlPresentPacingMayHaveChanged() {
    if (!g_window || !g_vsync.refused) return;
    VsyncTryAgain(&g_vsync);
    ChooseVsync();
}

void SdlPresentRenderReset() {
    if (g_renderer) CreateTexture();
}

void SdlPresentMouseToGame(int x, int y, int* gx, int* gy) {
    if (g_path == PresentPath::Renderer || !g_window) {
        *gx = x;  // the renderer's logical size already mapped the event
        *gy = y;
        return;
    }
    // Events come in the window's points; the picture sits in the surface's pixels, which
    // a high-density display makes more numerous.
    int w = 0, h = 0, pw = g_surfaceWidth, ph = g_surfaceHeight;
    SDL_GetWindowSize(g_window, &w, &h);
    if (!g_surface) SDL_GetWindowSizeInPixels(g_window, &pw, &ph);
    if (w > 0 && h > 0 && (pw != w || ph != h)) {
        x = static_cast<int>(static_cast<long long>(x) * pw / w);
        y = static_cast<int>(static_cast<long long>(y) * ph / h);
    }
    WindowToGame(g_surface ? g_box : FitPicture(pw, ph), x, y, gx, gy);
}

void SdlPresentWaitForFrame() {
    if (g_refreshes <= 0) {
        PaceToNextFrame();
        return;
    }
    // The present itself waited for the first refresh; the frame is shown again for each
    // further one (two at 120 Hz).
    const double simulated = SimulatedDisplayHz();
    if (simulated > 0) WaitForSimulatedRefresh(simulated);
    for (int i = 1; i < g_refreshes; ++i) {
        if (simulated > 0) {
            WaitForSimulatedRefresh(simulated);
            continue;
        }
        RenderPicture();
        SDL_RenderPresent(g_renderer);
    }
    // The game never runs faster than 60 frames a second: a refresh that comes before
    // the frame's slot (a display a little faster than 60 Hz, a driver that accepts vsync
    // and does not wait) waits for the slot. A driver whose presents come back at once
    // for a second is given up until the window changes.
    const auto now = Clock::now();
    const bool early = g_lastFrame != Clock::time_point() && now - g_lastFrame < kFrame * 3 / 4;
    g_lastFrame = now;
    PaceToNextFrame();
    if (VsyncFrameShown(&g_vsync, early)) ChooseVsync();
}
