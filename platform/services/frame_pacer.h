#pragma once
// The pace of the game's frames on a backend with a real clock, and the game's clock.
//
// Frame k has a slot, k/60 s after the schedule's start; it is shown no earlier than
// that (a display may show it a little before: `earlyUs`), and the game's clock for the
// frame, which GetTickCount answers until the next flip, is its slot's millisecond. A
// frame shown more than half a frame after its slot (the machine stalled, the window
// was dragged, the tab was hidden) starts a new schedule at its own time rather than
// catching up. So the clock the game reads never runs faster than 60 frames a second
// over any span of frames: ticks i < j differ by at least floor((j - i) * 1000 / 60),
// the rule every replay's clock is checked against; and frames on time never drift.
//
// Pure arithmetic over the backend's own monotonic clock in microseconds, so that each
// backend (a timer, a display's refresh, the browser's animation frames) waits in its own
// way and the rule is tested once.

#include <cstdint>

struct FramePacer {
    bool started = false;
    std::int64_t baseUs = 0;  // the schedule's start
    std::int64_t frames = 0;  // frames shown since then
};

// Half a frame: how late a frame may be and keep the schedule.
constexpr std::int64_t kFrameLateUs = 1000000 / 120;

// The slot of the next frame (µs); any time before the first frame.
std::int64_t FramePacerNextSlot(const FramePacer& pacer);
// The next frame is shown at `nowUs`, which the backend kept at or after the next slot
// (less what its display allows as early). Returns the game's clock for the frame (ms).
std::int64_t FramePacerShown(FramePacer* pacer, std::int64_t nowUs);
