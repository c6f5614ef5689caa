#include "verify/replay_cost.h"

namespace board {

namespace {

uint32_t Get32(std::string_view bytes, size_t at) {
  auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])); };
  return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

uint32_t Get16(std::string_view bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
}

constexpr uint32_t kNoTime = 0xFFFFFFFFu;

}  // namespace

uint32_t MaxRoundFrames(uint32_t time_ms) {
  uint64_t play = 2 + (static_cast<uint64_t>(time_ms) + 2) * 60 / 1000;
  return static_cast<uint32_t>(play + kResultsFrames + kResultsWaitFrames);
}

std::string RefuseBeforeVerifying(std::string_view replay) {
  // Magic, format version 1 and a 64-byte header: the fields below are where they say.
  if (replay.size() < 64 || replay.substr(0, 4) != "ZRPL" || Get16(replay, 4) != 1 ||
      Get16(replay, 6) != 64)
    return "";
  uint32_t time_ms = Get32(replay, 48);
  uint32_t frames = Get32(replay, 52);
  if (time_ms == kNoTime) return "invalid: the round was left before its last fly and has no time";
  if (time_ms > kSlowestTimeMs)
    return "invalid: the file says " + std::to_string(time_ms) +
           " ms, slower than any time the game keeps (59:59.999)";
  uint32_t most = MaxRoundFrames(time_ms);
  if (frames > most)
    return "invalid: " + std::to_string(frames) + " frames, more than a round of " +
           std::to_string(time_ms) + " ms can have (" + std::to_string(most) + ")";
  return "";
}

}  // namespace board
