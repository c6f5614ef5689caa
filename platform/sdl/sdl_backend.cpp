// The player's backend: one SDL window showing the 640x480 8-bit picture through its
// palette, scaled by whole factors and letterboxed (platform/sdl/sdl_present.cpp); SDL input
// as window messages.
#include "platform/sdl/sdl_backend.h"

#include <SDL.h>

#include <cstdio>

#include "platform/sdl/frame_pacing.h"
#include "platform/sdl/sdl_audio.h"
#include "platform/sdl/sdl_pad.h"
#include "platform/sdl/sdl_present.h"
#include "platform/services/display_settings.h"
#include "platform/services/master_volume.h"
#include "platform/services/options.h"
#include "platform/services/splits_overlay.h"
#include "platform/services/viewer_input.h"
#include "platform/stand_in/ddraw.h"
#include "platform/stand_in/runtime.h"

namespace {

SDL_Window* g_window = nullptr;
bool g_video = false;
bool g_cursorShown = true;
// The game learns of focus changes after its start only: SDL's first focus-gained, as the
// window appears, is the activation the game already had while creating its window.
bool g_focusLost = false;
// The window's whole factor as the player last had it in a window (kept at the end).
int g_windowScale = 1;
bool g_shown = false;

int FittingScale() {
    SDL_Rect usable;
    if (SDL_GetDisplayUsableBounds(0, &usable) != 0) return 1;
    int scale = 1;
    while (640 * (scale + 1) <= usable.w && 480 * (scale + 1) <= usable.h - 40) ++scale;
    return scale;
}

// --scale as asked; else the scale the player left, where it still fits; else the largest.
int ChooseScale() {
    if (g_Options.scale > 0) return g_Options.scale;
    const int fit = FittingScale();
    return g_Options.savedScale > 0 && g_Options.savedScale < fit ? g_Options.savedScale : fit;
}

bool IsFullscreen() { return (SDL_GetWindowFlags(g_window) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0; }

// A window the player resized keeps the factor of the picture that fits in it.
void NoteWindowSize() {
    if (!g_shown || IsFullscreen()) return;
    int w = 0, h = 0;
    SDL_GetWindowSize(g_window, &w, &h);
    const int scale = w / 640 < h / 480 ? w / 640 : h / 480;
    g_windowScale = scale < 1 ? 1 : scale;
}

void ToggleFullscreen() {
    SDL_SetWindowFullscreen(g_window, IsFullscreen() ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
    SdlPresentPacingMayHaveChanged();
}

// The replay viewer's keys (a finger on the bar comes as the mouse, by SDL's own hint).
bool ViewerKeyOf(SDL_Keycode key, ViewerKey* out) {
    switch (key) {
    case SDLK_SPACE: *out = ViewerKey::PlayPause; return true;
    case SDLK_COMMA:
    case SDLK_LESS: *out = ViewerKey::FrameBack; return true;
    case SDLK_PERIOD:
    case SDLK_GREATER: *out = ViewerKey::FrameForward; return true;
    case SDLK_LEFT: *out = ViewerKey::Back; return true;
    case SDLK_RIGHT: *out = ViewerKey::Forward; return true;
    case SDLK_HOME: *out = ViewerKey::Start; return true;
    case SDLK_END: *out = ViewerKey::End; return true;
    case SDLK_MINUS:
    case SDLK_KP_MINUS:
    case SDLK_UNDERSCORE: *out = ViewerKey::Slower; return true;
    case SDLK_PLUS:
    case SDLK_EQUALS:
    case SDLK_KP_PLUS: *out = ViewerKey::Faster; return true;
    case SDLK_o: *out = ViewerKey::Overlay; return true;
    case SDLK_QUESTION:
    case SDLK_SLASH: *out = ViewerKey::Help; return true;
    case SDLK_ESCAPE: *out = ViewerKey::Leave; return true;
    default: return false;
    }
}

void PostMouse(UINT message, int windowX, int windowY) {
    int x = 0, y = 0;
    SdlPresentMouseToGame(windowX, windowY, &x, &y);
    if (const ViewerInput* viewer = ActiveViewerInput()) {
        // A replay is watched: the mouse is the seek bar's.
        const ViewerPointer phase = message == WM_LBUTTONDOWN ? ViewerPointer::Down
                                    : message == WM_LBUTTONUP ? ViewerPointer::Up
                                                              : ViewerPointer::Move;
        viewer->pointer(phase, x, y);
        return;
    }
    // Outside the letterboxed picture the cursor stays on its edge.
    x = x < 0 ? 0 : (x > 639 ? 639 : x);
    y = y < 0 ? 0 : (y > 479 ? 479 : y);
    PostGameMessage(WM_MOUSEMOVE, 0, MakeCursorLParam(x, y));
    if (message != WM_MOUSEMOVE)
        PostGameMessage(message, message == WM_LBUTTONDOWN ? 1 : 0, MakeCursorLParam(x, y));
}

void DestroyGameWindow();

bool Start() {
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        std::fprintf(stderr, "zumble: no display: %s\n", SDL_GetError());
        g_video = false;
        return true;  // DirectDraw reports it to the game
    }
    // Without a desktop SDL falls back to an invisible off-screen driver; a player would
    // see nothing, so that counts as no display unless asked for by name.
    const char* driver = SDL_GetCurrentVideoDriver();
    const bool invisible =
        driver && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0);
    if (invisible && !SDL_getenv("SDL_VIDEODRIVER")) {
        std::fprintf(stderr, "zumble: no display (SDL found only its %s driver)\n", driver);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        g_video = false;
        return true;
    }
    g_video = true;
    SdlPadStart();
    return g_Options.virtualPad.empty() || SdlVirtualPadStart(g_Options.virtualPad.c_str());
}

bool HasDisplay() { return g_video; }

bool CreateGameWindow(const char* title) {
    const int scale = ChooseScale();
    g_windowScale = scale;
    Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_HIDDEN;
    if (!g_Options.window) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    g_window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640 * scale,
                                480 * scale, flags);
    if (!g_window) {
        std::fprintf(stderr, "zumble: cannot open the window: %s\n", SDL_GetError());
        return false;
    }
    if (!SdlPresentOpen(g_window)) {
        DestroyGameWindow();
        return false;
    }
    SDL_ShowWindow(g_window);
    g_shown = true;
    SdlPresentBlank();
    return true;
}

void DestroyGameWindow() {
    if (g_window && g_shown) RememberDisplay(IsFullscreen(), g_windowScale);
    g_shown = false;
    SdlPresentClose();
    if (g_window) SDL_DestroyWindow(g_window);
    g_window = nullptr;
}

void Shutdown() {
    DestroyGameWindow();
    SdlVirtualPadStop();
    SdlPadStop();
    SDL_Quit();
}

void PumpInput() {
    if (!g_video) return;
    SdlVirtualPadPump();
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        switch (e.type) {
        case SDL_QUIT: PostGameMessage(WM_CLOSE, 0, 0); break;
        case SDL_WINDOWEVENT:
            SdlPresentWindowEvent(e.window);
            if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) NoteWindowSize();
            if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED && g_focusLost) {
                g_focusLost = false;
                PostGameMessage(WM_ACTIVATEAPP, 1, 0);
            } else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST && !g_focusLost) {
                g_focusLost = true;
                PostGameMessage(WM_ACTIVATEAPP, 0, 0);
            }
            break;
        case SDL_MOUSEMOTION: PostMouse(WM_MOUSEMOVE, e.motion.x, e.motion.y); break;
        case SDL_MOUSEBUTTONDOWN:
            if (e.button.button == SDL_BUTTON_LEFT)
                PostMouse(WM_LBUTTONDOWN, e.button.x, e.button.y);
            break;
        case SDL_MOUSEBUTTONUP:
            if (e.button.button == SDL_BUTTON_LEFT) PostMouse(WM_LBUTTONUP, e.button.x, e.button.y);
            break;
        case SDL_KEYDOWN: {
            const SDL_Keycode key = e.key.keysym.sym;
            ViewerKey viewerKey;
            const ViewerInput* viewer = ActiveViewerInput();
            if ((key == SDLK_RETURN || key == SDLK_KP_ENTER) && (e.key.keysym.mod & KMOD_ALT)) {
                if (!e.key.repeat) ToggleFullscreen();
            } else if (key == SDLK_m) {
                // The sound's mute, playing or watching; the game never hears the key.
                if (!e.key.repeat) ToggleMasterMute();
            } else if (viewer) {
                if (ViewerKeyOf(key, &viewerKey))
                    viewer->key(viewerKey, (e.key.keysym.mod & KMOD_SHIFT) != 0);
            } else if (key == SDLK_RETURN || key == SDLK_KP_ENTER) {
                PostGameMessage(WM_KEYDOWN, VK_RETURN, 1);
            } else if (key == SDLK_SPACE) {
                PostGameMessage(WM_KEYDOWN, VK_SPACE, 1);
            } else if (key == SDLK_ESCAPE) {
                PostGameMessage(WM_KEYDOWN, VK_ESCAPE, 1);
            } else if (key == SDLK_r && !e.key.repeat) {
                // A held R restarts once, not at the key's repeat rate.
                PostGameMessage(WM_KEYDOWN, 'R', 1);
            } else if (key == SDLK_s && !e.key.repeat) {
                // The splits are the presentation's: the game never hears the key.
                ToggleSplits();
            }
            break;
        }
        case SDL_CONTROLLERDEVICEADDED:
        case SDL_CONTROLLERDEVICEREMOVED: SdlPadDeviceEvent(e); break;
        case SDL_RENDER_TARGETS_RESET:
        case SDL_RENDER_DEVICE_RESET:
            // The picture is gone: the game's own restore path brings it back, on the
            // activation that follows a lost display.
            SdlPresentRenderReset();
            LoseAllSurfaces();
            if (!g_focusLost) PostGameMessage(WM_ACTIVATEAPP, 1, 0);
            break;
        default: break;
        }
    }
    SdlPadPump();
}

void ShowCursor(bool show) {
    if (show == g_cursorShown) return;
    g_cursorShown = show;
    SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

void ShowMessageBox(const char* text, const char* caption) {
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, g_window);
}

// The clock stands still between two flips: the frame's slot (frame_pacing.h).
DWORD Ticks() { return PacedTicks(); }

// clang-format off
const Backend kSdl = {
    .name             = "sdl",
    .start            = Start,
    .shutdown         = Shutdown,
    .hasDisplay       = HasDisplay,
    .createWindow     = CreateGameWindow,
    .destroyWindow    = DestroyGameWindow,
    .pumpInput        = PumpInput,
    .present          = SdlPresentFrame,
    .showCursor       = ShowCursor,
    .messageBox       = ShowMessageBox,
    .ticks            = Ticks,
    .calendarTime     = SystemCalendarTime,
    .waitForFrame     = SdlPresentWaitForFrame,
    .afterFlip        = NothingAfterFlip,
    .openAudio        = SdlOpenAudio,
    .closeAudio       = SdlCloseAudio,
    .mixWithoutOutput = DiscardMix,
};
// clang-format on

}  // namespace

const Backend& SdlBackend() { return kSdl; }
