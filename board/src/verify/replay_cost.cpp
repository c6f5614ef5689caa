#include "verify/replay_cost.h"

#include <cstdint>

#include "replay/core/replay_bounds.h"

namespace board {

std::string RefuseBeforeVerifying(std::string_view replay) {
  ReplayHeader h;
  if (!ReplayReadHeader(reinterpret_cast<const uint8_t*>(replay.data()), replay.size(), &h))
    return "";
  switch (ReplayHeaderCost(h)) {
    case ReplayCost::Fits: return "";
    case ReplayCost::NoTime:
      return "invalid: the round was left before its last fly and has no time";
    case ReplayCost::TooSlow:
      return "invalid: the file says " + std::to_string(h.timeMs) +
             " ms, slower than any time the game keeps (59:59.999)";
    case ReplayCost::TooManyFrames: break;
  }
  return "invalid: " + std::to_string(h.frames) + " frames, more than a round of " +
         std::to_string(h.timeMs) + " ms can have (" + std::to_string(ReplayMostFrames(h.timeMs)) +
         ")";
}

}  // namespace board
