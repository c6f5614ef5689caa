// The port's frame heartbeat: the backend that runs, the flips counted, and what runs
// after each flip.
#include "platform/stand_in/runtime.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform/services/options.h"
#include "platform/stand_in/backend.h"
#include "platform/stand_in/input_tap.h"
#include "platform/stand_in/sound_mixer.h"

namespace {

using Clock = std::chrono::steady_clock;

// Until PlatformInit chooses, nothing is open: the headless backend stands in, so that
// tests can use the stand-ins without a platform.
const Backend* g_backend = nullptr;
long long g_flips = 0;
FlipHook g_hooks[kMaxFlipHooks] = {};
volatile std::sig_atomic_t g_terminate = 0;
bool g_closePosted = false;
Clock::time_point g_processStart = Clock::now();
double g_firstFlipMs = -1;
bool g_skipPacing = false;
FlipAside g_aside = nullptr;

void OnSignal(int) { g_terminate = 1; }

}  // namespace

const Backend& ActiveBackend() { return g_backend ? *g_backend : HeadlessBackend(); }

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

DWORD GetTickCount() {
    if (const InputFeed* feed = ActiveInputFeed()) return feed->tick();
    const DWORD ticks = ActiveBackend().ticks();
    if (const InputTap* tap = ActiveInputTap()) tap->tick(ticks);
    return ticks;
}

DWORD ObserveTickCount() {
    const InputFeed* feed = ActiveInputFeed();
    return feed ? feed->tick() : ActiveBackend().ticks();
}

std::time_t CalendarTime() {
    if (const InputFeed* feed = ActiveInputFeed()) return feed->calendar();
    const std::time_t now = ActiveBackend().calendarTime();
    if (const InputTap* tap = ActiveInputTap()) tap->calendar(now);
    return now;
}

bool PlatformInit() {
    g_backend = &ChooseBackend();
    if (!g_backend->start()) return false;
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    return true;
}

void PlatformShutdown() {
    AudioShutdown();
    ActiveBackend().shutdown();
}

bool TerminationAsked() { return g_terminate != 0; }

void SkipFramePacing(bool skip) { g_skipPacing = skip; }

void SetFlipAside(FlipAside aside) { g_aside = aside; }
FlipAside ActiveFlipAside() { return g_aside; }

void MarkProcessStart() { g_processStart = Clock::now(); }

double MillisecondsToFirstFlip() { return g_firstFlipMs; }

void CompleteFlip(bool wait) {
    const Backend& backend = ActiveBackend();
    if (wait && !g_Options.timedemo && !g_skipPacing) backend.waitForFrame();
    ++g_flips;
    if (g_flips == 1)
        g_firstFlipMs =
            std::chrono::duration<double, std::milli>(Clock::now() - g_processStart).count();
    AudioOnFlip();
    for (auto hook : g_hooks)
        if (hook) hook(g_flips);
    backend.afterFlip(g_flips);
    const bool framesDone = g_Options.frames >= 0 && g_flips >= g_Options.frames;
    if ((framesDone || g_terminate) && !g_closePosted) {
        g_closePosted = true;
        PostGameMessage(WM_CLOSE, 0, 0);
    }
}
