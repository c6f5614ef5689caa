// The browser's backend: the picture on the page's canvas, input from the page, pacing
// on the browser's animation frames, the sound through Web Audio. With a script the run
// is the headless one (its virtual clock, its script input) shown on the page, so it
// gives the same frames, trace and sound log as `zumble --headless`.
#include "platform/web/web_backend.h"

#include <emscripten/emscripten.h>

#include <cstdint>
#include <cstdio>
#include <ctime>

#include "platform/services/frame_pacer.h"
#include "platform/services/options.h"
#include "platform/services/viewer_input.h"
#include "platform/stand_in/backend.h"
#include "platform/stand_in/ddraw.h"
#include "platform/stand_in/runtime.h"
#include "platform/stand_in/scale_convert.h"

namespace {

bool g_canvas = false;
FramePacer g_pacer;
std::int64_t g_frameTick = -1;
// Animation frames jitter around the display's beat: one a quarter frame before its
// slot still shows the frame (the clock then reads the slot's time).
constexpr std::int64_t kEarlyUs = 1000000 / 240;
std::uint32_t g_rgba[640 * 480];
double g_lastYield = 0;

bool Scripted() { return !g_Options.script.empty(); }

EM_JS(int, WebOpenCanvas, (), {
    var canvas = Module['canvas'];
    if (!canvas || !canvas.getContext) return 0;
    Module['zumble2d'] = canvas.getContext('2d', {alpha : false});
    return Module['zumble2d'] ? 1 : 0;
});

EM_JS(void, WebPutImage, (const void* rgba), {
    var image = new ImageData(new Uint8ClampedArray(HEAPU8.buffer, rgba, 640 * 480 * 4), 640, 480);
    Module['zumble2d'].putImageData(image, 0, 0);
});

// A replay watched shows the player's own pointer, for its seek bar.
EM_JS(void, WebSetCursor, (int show),
      { Module['canvas'].style.cursor = show || zumblePage.watching ? 'default' : 'none'; });

EM_JS(void, WebShowMessage, (const char* text, const char* caption),
      { zumblePage.setStatus(UTF8ToString(caption) + ': ' + UTF8ToString(text)); });

EM_ASYNC_JS(double, WebWaitForSlot, (double earliest), { return await zumbleNextSlot(earliest); });
EM_JS(int, WebStoringFiles, (), { return zumbleStore.busy ? 1 : 0; });
EM_ASYNC_JS(void, WebWaitForStoredFiles, (), { await zumbleFilesStored(); });
EM_ASYNC_JS(void, WebYield, (), { await zumbleYield(); });

// A scripted run reads its script as the headless one does. Without a canvas the game
// reports that it has no display.
bool Start() {
    g_canvas = WebOpenCanvas() != 0;
    return !Scripted() || HeadlessBackend().start();
}

void Shutdown() {}

bool HasDisplay() { return g_canvas; }

bool CreateWindow(const char*) {
    if (!Scripted()) WebListen();
    return true;
}

void DestroyWindow() {
    // The canvas keeps the last frame: the page shows that the game has ended.
    WebStopListening();
}

void PumpInput() {
    WebReadLateFiles();
    if (Scripted()) {
        HeadlessBackend().pumpInput();
    } else {
        WebPumpInput();
        // A seek plays frames nobody sees, many a millisecond: the browser's pads are
        // read again at the frame it lands on.
        if (!ActiveViewerSeeking()) WebPadPump();
    }
}

void Present(const std::uint8_t* pixels, const PALETTEENTRY* palette) {
    WebKeepAskedRound();
    // A file the game has just saved (a new best time) is in IndexedDB before the next
    // picture, and its trace line, show: a tab closed on what the page shows keeps it.
    if (WebStoringFiles()) WebWaitForStoredFiles();
    if (!g_canvas) return;
    // The canvas wants bytes R, G, B, A: on little-endian wasm that is 0xAABBGGRR. The
    // page enlarges the canvas itself.
    constexpr PixelLayout kCanvas = {0, 8, 16, 0xFF000000u};
    std::uint32_t table[256];
    BuildColourTable(palette, kCanvas, table);
    ScaleConvert(pixels, table, Letterbox{}, g_rgba, 640, 480, 640 * 4);
    WebPutImage(g_rgba);
    WebDrawOverlay();
}

void ShowCursor(bool show) {
    // The game says it every frame; the page's style changes only when it does.
    static int shown = -1;
    if (!g_canvas || shown == (show ? 1 : 0)) return;
    shown = show ? 1 : 0;
    WebSetCursor(shown);
}

void MessageBoxOnPage(const char* text, const char* caption) { WebShowMessage(text, caption); }

// The clock stands still between two flips: the frame's slot.
DWORD Ticks() {
    if (Scripted()) return HeadlessBackend().ticks();
    return static_cast<DWORD>(g_frameTick >= 0 ? g_frameTick
                                               : static_cast<std::int64_t>(emscripten_get_now()));
}

std::time_t CalendarTime() {
    if (Scripted() || WebTimeGiven()) return static_cast<std::time_t>(g_Options.time);
    return std::time(nullptr);
}

void WaitForFrame() {
    const std::int64_t slot = FramePacerNextSlot(g_pacer);
    const double earliest = g_pacer.started ? static_cast<double>(slot - kEarlyUs) / 1000 : -1e300;
    double now = -1;
    // A hidden tab gets no slots; the page wakes the game without one (-1) to keep the
    // round so far, asked while it waits or just before.
    while (now < 0) {
        WebKeepAskedRound();
        now = WebWaitForSlot(earliest);
    }
    g_frameTick = FramePacerShown(&g_pacer, static_cast<std::int64_t>(now * 1000));
}

void AfterFlip(long long frame) {
    if (Scripted()) HeadlessBackend().afterFlip(frame);
    // A timedemo never waits for a frame: hand the page back ten times a second, so it
    // stays alive and shows the picture.
    if (g_Options.timedemo) {
        const double now = emscripten_get_now();
        if (now - g_lastYield > 100) {
            WebYield();
            g_lastYield = emscripten_get_now();
        }
    }
}

// The mix is made per flip by the core (see web_audio.cpp): no device pulls it.
bool OpenAudio(AudioPull) { return false; }

void CloseAudio() {}

void MixWithoutOutput(const std::int16_t* samples, int frames) { WebPlayFrameMix(samples, frames); }

// clang-format off
const Backend kWeb = {
    .name             = "web",
    .start            = Start,
    .shutdown         = Shutdown,
    .hasDisplay       = HasDisplay,
    .createWindow     = CreateWindow,
    .destroyWindow    = DestroyWindow,
    .pumpInput        = PumpInput,
    .present          = Present,
    .showCursor       = ShowCursor,
    .messageBox       = MessageBoxOnPage,
    .ticks            = Ticks,
    .calendarTime     = CalendarTime,
    .waitForFrame     = WaitForFrame,
    .afterFlip        = AfterFlip,
    .openAudio        = OpenAudio,
    .closeAudio       = CloseAudio,
    .mixWithoutOutput = MixWithoutOutput,
};
// clang-format on

}  // namespace

const Backend& ChooseBackend() { return kWeb; }
