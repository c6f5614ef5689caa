// The headless backend: no window and no device. The clock is virtual (tick0 plus 1/60 s
// per flip), input comes from the script, nothing sleeps (but in a room, which is raced
// in real time), and the mix of each flip goes to the recording, so two runs with the
// same files and options are the same run.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/services/frame_pacer.h"
#include "platform/services/options.h"
#include "platform/services/png_writer.h"
#include "platform/services/tester_file.h"
#include "platform/stand_in/backend.h"
#include "platform/stand_in/ddraw.h"
#include "platform/stand_in/runtime.h"
#include "platform/stand_in/script.h"
#include "platform/stand_in/sound_mixer.h"

namespace {

DWORD g_tickOrigin = 0;
FramePacer g_pacer;
std::vector<ScriptEvent> g_script;
size_t g_nextEvent = 0;

void WriteShot(const std::string& file) {
    IDirectDrawSurface* front = PrimarySurface();
    if (!front || !front->palette) {
        std::fprintf(stderr, "zumble: shot %s: no display\n", file.c_str());
        return;
    }
    if (!WritePalettedPng(file.c_str(), front->pixels.data(), front->width, front->height,
                          front->palette->entries))
        std::fprintf(stderr, "zumble: cannot write shot %s\n", file.c_str());
}

void PostScriptEvent(const ScriptEvent& ev) {
    POINT cur;
    GetCursorPos(&cur);
    switch (ev.verb) {
    case ScriptVerb::Move: PostGameMessage(WM_MOUSEMOVE, 0, MakeCursorLParam(ev.x, ev.y)); break;
    case ScriptVerb::Down:
        PostGameMessage(WM_LBUTTONDOWN, 1, MakeCursorLParam(cur.x, cur.y));
        break;
    case ScriptVerb::Up: PostGameMessage(WM_LBUTTONUP, 0, MakeCursorLParam(cur.x, cur.y)); break;
    case ScriptVerb::Click:
        PostGameMessage(WM_LBUTTONDOWN, 1, MakeCursorLParam(cur.x, cur.y));
        PostGameMessage(WM_LBUTTONUP, 0, MakeCursorLParam(cur.x, cur.y));
        break;
    case ScriptVerb::Key: PostGameMessage(WM_KEYDOWN, ev.key, 1); break;
    case ScriptVerb::Activate: PostGameMessage(WM_ACTIVATEAPP, 1, 0); break;
    case ScriptVerb::Deactivate: PostGameMessage(WM_ACTIVATEAPP, 0, 0); break;
    case ScriptVerb::LoseSurfaces: LoseAllSurfaces(); break;
    case ScriptVerb::Close: PostGameMessage(WM_CLOSE, 0, 0); break;
    case ScriptVerb::Shot: WriteShot(ev.file); break;
    }
}

void PostScriptEventsFor(long long frame) {
    while (g_nextEvent < g_script.size() && g_script[g_nextEvent].frame <= frame)
        PostScriptEvent(g_script[g_nextEvent++]);
}

bool Start() {
    g_tickOrigin = g_Options.tick0;
    g_script.clear();
    g_nextEvent = 0;
    if (g_Options.script.empty()) return true;
    std::string text;
    std::string error;
    if (!ReadTesterFile(g_Options.script, &text) || !ParseScript(text, &g_script, &error)) {
        if (error.empty()) error = "cannot read script '" + g_Options.script + "'";
        std::fprintf(stderr, "zumble: %s\n", error.c_str());
        return false;
    }
    for (const ScriptEvent& ev : g_script) {
        if (g_Options.replay.empty() || ev.verb == ScriptVerb::Shot) continue;
        std::fprintf(stderr,
                     "zumble: --replay plays the replay's input: its script takes only shots\n");
        return false;
    }
    // Shots are named from where the run started, even if the game then moves to its data.
    for (ScriptEvent& ev : g_script)
        if (ev.verb == ScriptVerb::Shot) ev.file = AbsoluteTesterPath(ev.file);
    return true;
}

void Shutdown() {}
bool HasDisplay() { return true; }
bool CreateGameWindow(const char*) { return true; }
void DestroyGameWindow() {}

// Frame 0's events wait for the main loop's first pass, once the display exists, so
// that `lose-surfaces` and `shot` at frame 0 act on it.
void PumpInput() {
    if (FlipCount() == 0) PostScriptEventsFor(0);
}

void Present(const std::uint8_t*, const PALETTEENTRY*) {}
void ShowCursor(bool) {}
void ShowMessageBox(const char*, const char*) {}
DWORD Ticks() { return g_tickOrigin + static_cast<DWORD>(FlipCount() * 1000 / 60); }
std::time_t Calendar() { return static_cast<std::time_t>(g_Options.time); }
// In a room the board holds every racer to real time: there the frames come at 60 a
// second, as in a window (the game's clock stays the virtual one).
void WaitForFrame() {
    if (g_Options.room.empty()) return;
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point origin = Clock::now();
    auto nowUs = [] {
        return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - origin).count();
    };
    const std::int64_t slot = FramePacerNextSlot(g_pacer);
    const std::int64_t now = nowUs();
    if (slot > now) std::this_thread::sleep_for(std::chrono::microseconds(slot - now));
    FramePacerShown(&g_pacer, nowUs());
}
// Events of frame N are posted right after the N-th flip, for the next pass's drain.
void AfterFlip(long long frame) { PostScriptEventsFor(frame); }
bool OpenAudio(AudioPull) { return false; }
void CloseAudio() {}

// clang-format off
const Backend kHeadless = {
    .name             = "headless",
    .start            = Start,
    .shutdown         = Shutdown,
    .hasDisplay       = HasDisplay,
    .createWindow     = CreateGameWindow,
    .destroyWindow    = DestroyGameWindow,
    .pumpInput        = PumpInput,
    .present          = Present,
    .showCursor       = ShowCursor,
    .messageBox       = ShowMessageBox,
    .ticks            = Ticks,
    .calendarTime     = Calendar,
    .waitForFrame     = WaitForFrame,
    .afterFlip        = AfterFlip,
    .openAudio        = OpenAudio,
    .closeAudio       = CloseAudio,
    .mixWithoutOutput = RecordFrames,
};
// clang-format on

}  // namespace

const Backend& HeadlessBackend() { return kHeadless; }

void SetTickOrigin(DWORD tick0) { g_tickOrigin = tick0; }
