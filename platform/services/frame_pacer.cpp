#include "platform/services/frame_pacer.h"

#include <limits>

namespace {

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

std::int64_t Slot(const FramePacer& p, std::int64_t k) { return p.baseUs + k * 1000000 / 60; }

}  // namespace

std::int64_t FramePacerNextSlot(const FramePacer& pacer) {
    return pacer.started ? Slot(pacer, pacer.frames + 1) : std::numeric_limits<std::int64_t>::min();
}

std::int64_t FramePacerShown(FramePacer* pacer, std::int64_t nowUs) {
    if (pacer->started) {
        const std::int64_t slot = Slot(*pacer, pacer->frames + 1);
        if (nowUs - slot <= kFrameLateUs) {
            ++pacer->frames;
            // floor((base + floor(k * 10^6 / 60)) / 1000) = floor(base / 1000 + k * 1000 / 60):
            // the steady 16, 17, 17 ms steps from the schedule's start.
            return FloorDiv(slot, 1000);
        }
    }
    // The first frame, or one that came too late: a new schedule from now. Its slots all
    // lie after the old schedule's, so no span of frames gains time.
    pacer->started = true;
    pacer->baseUs = nowUs;
    pacer->frames = 0;
    return FloorDiv(nowUs, 1000);
}
