#pragma once
// The inputs a person could have made: what the game's backends deliver (the window, the
// page with its mouse and touch, a gamepad's cursor), checked on a parsed replay before it
// is played. docs/replay-format.md says what each backend produces.

#include <cstddef>
#include <cstdint>

#include "replay/core/replay_format.h"

// How far ahead of the verifier's clock a round's calendar time may be: time zones and
// clocks set a little wrong are a day at most.
constexpr std::int64_t kReplayFutureSlack = 24 * 60 * 60;

// How many presses (and, apart, releases) of the button one frame may hold when the
// input it took can have arrived over `window` ms (from the last frame's tick to the
// next's, and some slack for the slots). `touch`: the round used a touch screen.
int ReplayMostPresses(std::int64_t window, bool touch);

// False with a one-line reason (written to reason) for the first input no backend
// produces. now: the verifier's clock, seconds since 1970.
bool ReplayFollowsRules(const ReplayFile& file, std::int64_t now, char* reason,
                        std::size_t reasonSize);
