#include "replay/core/replay_bounds.h"

bool ReplayIsMode(long long flies, long long speed) {
    bool f = false, s = false;
    for (int v : kReplayFlies) f = f || v == flies;
    for (int v : kReplaySpeeds) s = s || v == speed;
    return f && s;
}

std::uint32_t ReplayMostFrames(std::uint32_t timeMs) {
    const std::uint64_t play = 2 + (static_cast<std::uint64_t>(timeMs) + 2) * 60 / 1000;
    return static_cast<std::uint32_t>(play + kReplayResultsFrames + kReplayResultsWaitFrames);
}

ReplayCost ReplayHeaderCost(const ReplayHeader& header) {
    if (header.timeMs == kReplayNoTime) return ReplayCost::NoTime;
    if (header.timeMs > kReplaySlowestTimeMs) return ReplayCost::TooSlow;
    if (header.frames > ReplayMostFrames(header.timeMs)) return ReplayCost::TooManyFrames;
    return ReplayCost::Fits;
}
