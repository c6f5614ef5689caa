#include "platform/sdl/frame_pacing.h"

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point g_deadline;
bool g_started = false;

}  // namespace

void PaceToNextFrame() {
    constexpr auto kFrame = std::chrono::nanoseconds(1000000000LL / 60);
    const auto now = Clock::now();
    if (!g_started || now - g_deadline > 4 * kFrame) {
        g_started = true;
        g_deadline = now + kFrame;
    } else {
        g_deadline += kFrame;
    }
    std::this_thread::sleep_until(g_deadline);
}
