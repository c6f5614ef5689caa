// The frame pacer against the displays and clocks it meets: a timer that wakes late, a
// machine that stalls, vsync'd displays a little slower and faster than 60 Hz and at
// multiples of it, and a browser's animation frames at any rate. Whatever happens, the
// clock the game reads keeps the replay's clock rule (no span of frames faster than 60 a
// second), and frames on time keep 60 a second without drifting.
#include "platform/services/frame_pacer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "replay/core/replay_format.h"

namespace {

enum class Way { Timer, Vsync, AnimationFrames };

struct Display {
    const char* what;
    Way way;
    double hz;        // the display's refresh rate (vsync, animation frames)
    bool stalls;      // the machine stops for 10-200 ms now and then
    double leastFps;  // over the run, at least
};

struct Result {
    std::int64_t frames = 0;
    std::int64_t refused = -1;  // the first frame whose tick the rule refuses, or -1
    double fps = 0;
};

// Plays 40 simulated seconds. The display's refreshes come on a fixed beat; a browser's
// animation frame carries its refresh time, rounded to 0.1 ms as browsers coarsen it.
Result Simulate(const Display& run) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> wakeLate(0, 400);  // µs a sleeper wakes after its time
    std::uniform_int_distribution<int> work(500, 4000);   // µs a frame takes to step and draw
    std::uniform_int_distribution<int> stallEvery(60, 400);
    std::uniform_int_distribution<int> stallUs(10000, 200000);
    const double period = 1e6 / run.hz;
    // The first refresh after time t.
    auto nextRefresh = [&](std::int64_t t) {
        double n = std::floor(static_cast<double>(t) / period) + 1;
        while (static_cast<std::int64_t>(std::ceil(n * period)) <= t) ++n;
        return static_cast<std::int64_t>(std::ceil(n * period));
    };
    const int refreshes = run.way == Way::Vsync ? static_cast<int>(std::lround(run.hz)) / 60 : 0;
    const bool timer =
        run.way == Way::Timer || (run.way == Way::Vsync && std::lround(run.hz) % 60 != 0);

    FramePacer pacer;
    ReplayClock clock;
    Result result;
    std::int64_t now = 1000000, firstShown = -1, lastShown = 0;
    int untilStall = stallEvery(random);
    while (now < 41000000) {
        now += work(random);
        if (run.stalls && --untilStall == 0) {
            now += stallUs(random);
            untilStall = stallEvery(random);
        }
        const std::int64_t slot = FramePacerNextSlot(pacer);
        if (timer) {
            if (slot > now) now = slot + wakeLate(random);
        } else if (run.way == Way::Vsync) {
            for (int i = 0; i < refreshes; ++i) now = nextRefresh(now) + 50;  // the present waits
            if (slot > now) now = slot + wakeLate(random);  // an early refresh waits for the slot
        } else {
            // The first animation frame at or after the slot less a quarter frame.
            const std::int64_t earliest = pacer.started ? slot - 1000000 / 240 : 0;
            std::int64_t frame = nextRefresh(now);
            while (std::round(frame / 100.0) * 100 < earliest) frame = nextRefresh(frame);
            now = frame + 300;  // the callback runs a little after the frame's time
            const std::int64_t stamp = static_cast<std::int64_t>(std::round(frame / 100.0) * 100);
            const std::int64_t tick = FramePacerShown(&pacer, stamp);
            if (ReplayClockNext(&clock, static_cast<std::uint32_t>(tick)) !=
                    ReplayClockVerdict::Ok &&
                result.refused < 0)
                result.refused = result.frames;
            ++result.frames;
            if (firstShown < 0) firstShown = stamp;
            lastShown = stamp;
            continue;
        }
        const std::int64_t tick = FramePacerShown(&pacer, now);
        if (ReplayClockNext(&clock, static_cast<std::uint32_t>(tick)) != ReplayClockVerdict::Ok &&
            result.refused < 0)
            result.refused = result.frames;
        ++result.frames;
        if (firstShown < 0) firstShown = now;
        lastShown = now;
    }
    result.fps = (result.frames - 1) * 1e6 / static_cast<double>(lastShown - firstShown);
    return result;
}

TEST(FramePacer, NeverFasterThanSixtyAndNoDrift) {
    // clang-format off
    const Display runs[] = {
        {"timer", Way::Timer, 60, false, 59.7},
        {"timer, stalls", Way::Timer, 60, true, 50},
        {"vsync 59.94 Hz", Way::Vsync, 59.94, false, 59.9},
        {"vsync 60 Hz", Way::Vsync, 60, false, 59.95},
        {"vsync 60.02 Hz", Way::Vsync, 60.02, false, 59.95},
        {"vsync 60.02 Hz, stalls", Way::Vsync, 60.02, true, 45},
        {"75 Hz (the timer paces)", Way::Vsync, 75, false, 59.7},
        {"vsync 120 Hz", Way::Vsync, 120, false, 59.95},
        {"144 Hz (the timer paces)", Way::Vsync, 144, false, 59.7},
        {"vsync 240 Hz", Way::Vsync, 240, false, 59.95},
        {"animation frames 59.94 Hz", Way::AnimationFrames, 59.94, false, 59.9},
        {"animation frames 60 Hz", Way::AnimationFrames, 60, false, 59.95},
        {"animation frames 60.02 Hz", Way::AnimationFrames, 60.02, false, 59.5},
        {"animation frames 75 Hz", Way::AnimationFrames, 75, false, 59.5},
        {"animation frames 120 Hz", Way::AnimationFrames, 120, false, 59.95},
        {"animation frames 144 Hz", Way::AnimationFrames, 144, false, 59.5},
        {"animation frames 240 Hz", Way::AnimationFrames, 240, false, 59.5},
        {"animation frames 144 Hz, stalls", Way::AnimationFrames, 144, true, 45},
    };
    // clang-format on
    for (const Display& run : runs) {
        const Result r = Simulate(run);
        EXPECT_EQ(r.refused, -1) << run.what << ": the clock rule refuses frame " << r.refused;
        EXPECT_LE(r.fps, 60.01) << run.what;  // measured on the times frames were shown
        EXPECT_GE(r.fps, run.leastFps) << run.what;
    }
}

// The game's clock is the slots' milliseconds: the steady 16, 17, 17 steps while frames
// are on time, a new start after a stall, and never a step back.
TEST(FramePacer, TheClockIsTheSlots) {
    FramePacer p;
    EXPECT_EQ(FramePacerShown(&p, 5000000), 5000);  // the first frame starts the schedule
    const std::int64_t want[] = {5016, 5033, 5050, 5066, 5083, 5100};
    for (int k = 0; k < 6; ++k) {
        const std::int64_t slot = FramePacerNextSlot(p);
        EXPECT_EQ(FramePacerShown(&p, slot + 3000), want[k]) << k;  // 3 ms late keeps the schedule
    }
    // Half a frame late and more: a new schedule from then.
    const std::int64_t late = FramePacerNextSlot(p) + 9000;
    EXPECT_EQ(FramePacerShown(&p, late), late / 1000);
    EXPECT_EQ(FramePacerNextSlot(p), late + 16666);
}

}  // namespace
