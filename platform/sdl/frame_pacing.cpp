#include "platform/sdl/frame_pacing.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/services/frame_pacer.h"

namespace {

using Clock = std::chrono::steady_clock;

const Clock::time_point g_origin = Clock::now();
FramePacer g_pacer;
std::int64_t g_frameTick = -1;

std::int64_t NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - g_origin).count();
}

void SleepUntilUs(std::int64_t us) {
    std::this_thread::sleep_until(g_origin + std::chrono::microseconds(us));
}

}  // namespace

std::uint32_t PacedTicks() {
    return static_cast<std::uint32_t>(g_frameTick >= 0 ? g_frameTick : NowUs() / 1000);
}

std::int64_t PaceToNextFrame() {
    const std::int64_t slot = FramePacerNextSlot(g_pacer);
    const std::int64_t before = NowUs();
    if (slot > before) SleepUntilUs(slot);
    const std::int64_t now = NowUs();
    g_frameTick = FramePacerShown(&g_pacer, now);
    return slot > before ? now - before : 0;
}

double SimulatedDisplayHz() {
    static const double hz = [] {
        const char* text = std::getenv("ZUMBLE_DISPLAY_HZ");
        if (!text || !*text) return 0.0;
        char* end = nullptr;
        const double value = std::strtod(text, &end);
        if (*end != '\0' || !(value >= 1 && value <= 1000)) {
            std::fprintf(stderr, "zumble: ZUMBLE_DISPLAY_HZ is a rate from 1 to 1000, not '%s'\n",
                         text);
            return 0.0;
        }
        return value;
    }();
    return hz;
}

void WaitForSimulatedRefresh(double hz) {
    // Refreshes come on a fixed beat from the origin, as a display's do.
    const double period = 1e6 / hz;
    const double next = std::floor(static_cast<double>(NowUs()) / period) + 1;
    SleepUntilUs(static_cast<std::int64_t>(std::ceil(next * period)));
}
