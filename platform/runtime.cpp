// The port's frame heartbeat: flips counted, the clock (real or virtual), pacing, the
// headless script, shots and the hooks that run after each flip.
#include "platform/runtime.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/backend.h"
#include "platform/ddraw.h"
#include "platform/options.h"
#include "platform/png_writer.h"
#include "platform/present.h"
#include "platform/script.h"

namespace {

using Clock = std::chrono::steady_clock;

long long g_flips = 0;
DWORD g_tickOrigin = 0;
FlipHook g_hooks[8] = {};
std::vector<ScriptEvent> g_script;
size_t g_nextEvent = 0;
Clock::time_point g_frameDeadline;
bool g_paceStarted = false;
volatile std::sig_atomic_t g_terminate = 0;
bool g_closePosted = false;
Clock::time_point g_processStart = Clock::now();
double g_firstFlipMs = -1;

void OnSignal(int) { g_terminate = 1; }

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
    case ScriptVerb::Move:
        PostGameMessage(WM_MOUSEMOVE, 0, MakeCursorLParam(ev.x, ev.y));
        break;
    case ScriptVerb::Down:
        PostGameMessage(WM_LBUTTONDOWN, 1, MakeCursorLParam(cur.x, cur.y));
        break;
    case ScriptVerb::Up:
        PostGameMessage(WM_LBUTTONUP, 0, MakeCursorLParam(cur.x, cur.y));
        break;
    case ScriptVerb::Click:
        PostGameMessage(WM_LBUTTONDOWN, 1, MakeCursorLParam(cur.x, cur.y));
        PostGameMessage(WM_LBUTTONUP, 0, MakeCursorLParam(cur.x, cur.y));
        break;
    case ScriptVerb::Key:
        PostGameMessage(WM_KEYDOWN, ev.key, 1);
        break;
    case ScriptVerb::Activate:
        PostGameMessage(WM_ACTIVATEAPP, 1, 0);
        break;
    case ScriptVerb::Deactivate:
        PostGameMessage(WM_ACTIVATEAPP, 0, 0);
        break;
    case ScriptVerb::LoseSurfaces:
        LoseAllSurfaces();
        break;
    case ScriptVerb::Close:
        PostGameMessage(WM_CLOSE, 0, 0);
        break;
    case ScriptVerb::Shot:
        WriteShot(ev.file);
        break;
    }
}

void PostScriptEventsFor(long long frame) {
    while (g_nextEvent < g_script.size() && g_script[g_nextEvent].frame <= frame)
        PostScriptEvent(g_script[g_nextEvent++]);
}

// Waits for the next 1/60 s slot on an absolute schedule, so frames do not drift; after
// a long stall (a dragged window, a debugger) the schedule starts again from now.
void PaceFrame() {
    constexpr auto kFrame = std::chrono::nanoseconds(1000000000LL / 60);
    const auto now = Clock::now();
    if (!g_paceStarted || now - g_frameDeadline > 4 * kFrame) {
        g_paceStarted = true;
        g_frameDeadline = now + kFrame;
    } else {
        g_frameDeadline += kFrame;
    }
    std::this_thread::sleep_until(g_frameDeadline);
}

}  // namespace

bool IsHeadless() { return g_Options.headless; }

long long FlipCount() { return g_flips; }

void AddFlipHook(FlipHook hook) {
    for (auto& slot : g_hooks)
        if (!slot) { slot = hook; return; }
}

void SetTickOrigin(DWORD tick0) { g_tickOrigin = tick0; }

DWORD GetTickCount() {
    if (IsHeadless()) return g_tickOrigin + static_cast<DWORD>(g_flips * 1000 / 60);
    return SdlTicks();
}

bool PlatformInit() {
    g_tickOrigin = g_Options.tick0;
    if (!g_Options.script.empty()) {
        std::ifstream in(g_Options.script, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        std::string error;
        g_script.clear();
        if (!in || !ParseScript(text.str(), &g_script, &error)) {
            std::fprintf(stderr, "zumble: %s\n", error.empty() ? ("cannot read script '" + g_Options.script + "'").c_str() : error.c_str());
            return false;
        }
        for (ScriptEvent& ev : g_script)
            if (ev.verb == ScriptVerb::Shot) ev.file = std::filesystem::absolute(ev.file).string();
    }
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    if (!IsHeadless()) SdlStart();  // without a display the game reports it at InitDisplay
    return true;
}

void PlatformShutdown() {
    AudioShutdown();
    if (!IsHeadless()) SdlShutdown();
}

void PostFrameZeroEvents() {
    if (g_flips == 0) PostScriptEventsFor(0);
}

void PresentFront(bool) {
    if (IsHeadless()) return;
    IDirectDrawSurface* front = PrimarySurface();
    if (front && front->palette) SdlPresent(front->pixels.data(), front->palette->entries);
}

void MarkProcessStart() { g_processStart = Clock::now(); }

double MillisecondsToFirstFlip() { return g_firstFlipMs; }

void CompleteFlip(bool wait) {
    if (wait && !IsHeadless() && !g_Options.timedemo) PaceFrame();
    ++g_flips;
    if (g_flips == 1)
        g_firstFlipMs = std::chrono::duration<double, std::milli>(Clock::now() - g_processStart).count();
    AudioOnFlip();
    for (auto hook : g_hooks)
        if (hook) hook(g_flips);
    PostScriptEventsFor(g_flips);
    const bool framesDone = g_Options.frames >= 0 && g_flips >= g_Options.frames;
    if ((framesDone || g_terminate) && !g_closePosted) {
        g_closePosted = true;
        PostGameMessage(WM_CLOSE, 0, 0);
    }
}
