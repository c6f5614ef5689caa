// What a replay's header promises, read in the server before the replay is queued, so
// that a file no real round needs never costs a verifier anything. The verifier checks
// everything again; this only refuses early what it would refuse after playing.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace board {

// The slowest time the game's best-times table keeps: its default entry, 59:59.999,
// which no time equal to it or above beats.
constexpr uint32_t kSlowestTimeMs = 3599999;
// After the clear: the results board's 62 frames before a click is taken, and leaving.
constexpr uint32_t kResultsFrames = 64;
// How long a player may leave the results board up before the click: an hour.
constexpr uint32_t kResultsWaitFrames = 60 * 60 * 60;

// The most frames a round with this time can have. The game's clock check lets no frame
// come faster than 1/60 s after the round's start (frame 1), less 1 ms of rounding, so
// the clear comes at frame 2 + (T + 2) * 60 / 1000 at the latest; then the results
// board and the wait for the click.
uint32_t MaxRoundFrames(uint32_t time_ms);

// Empty when the replay may go to the verifier; else the reason to refuse it at once.
// Files that are not replays of this format go to the verifier, which says what is wrong.
std::string RefuseBeforeVerifying(std::string_view replay);

}  // namespace board
