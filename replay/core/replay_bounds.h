#pragma once
// What a round can be, for whoever reads a replay without playing it: the sixteen modes,
// the slowest time the best-times table keeps, and how many frames a round of a given
// time can have at most.

#include <cstdint>

#include "replay/core/replay_format.h"

// The flies of each fly setting (0..3) and the speed steps (1..4) as the mode screen
// shows them: sixteen modes.
constexpr int kReplayFlies[4] = {10, 30, 100, 1000};
constexpr int kReplaySpeeds[4] = {1, 2, 3, 4};

// The slowest time the best-times table keeps: its default entry, 59:59.999, which no
// time equal to it or above beats.
constexpr std::uint32_t kReplaySlowestTimeMs = 3599999;
// After the clear: the results board's 62 frames before a click is taken, and leaving.
constexpr std::uint32_t kReplayResultsFrames = 64;
// How long a player may leave the results board up before the click: an hour.
constexpr std::uint32_t kReplayResultsWaitFrames = 60 * 60 * 60;

// True for one of the sixteen modes, as flies and speed step.
bool ReplayIsMode(long long flies, long long speed);

// The most frames a round with this time can have. The clock lets no frame come faster
// than 1/60 s after the round's start (frame 1), less 1 ms of rounding, so the clear
// comes at frame 2 + (T + 2) * 60 / 1000 at the latest; then the results board and the
// wait for the click.
std::uint32_t ReplayMostFrames(std::uint32_t timeMs);

// What a header promises, against the bounds above: whether a round that long can be
// worth playing at all.
enum class ReplayCost { Fits, NoTime, TooSlow, TooManyFrames };
ReplayCost ReplayHeaderCost(const ReplayHeader& header);
