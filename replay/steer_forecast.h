#pragma once
// What the random sequence deals after a swat, had its press come a few frames earlier
// or later: the verifier's measure of steering. The flies' flight, the spawns and a
// swat's debris share one sequence, so the frame of a press decides where and when the
// next flies come; a hand cannot see that, a machine that tries presses on a copy of the
// game can. Only what decides the next flies is copied (the sequence, the spawn count,
// the flies themselves) and played forward with the game's own rules; the game's state
// is never touched (its sequence is put back after each call).

#include <cstdint>

#include "objects/fly_swarm.h"

constexpr int kForecastMostFlies = 1000;
// Presses tried on each side of the real one, and the frames an outcome is looked for.
constexpr int kForecastSpan = 8;
constexpr int kForecastHorizon = 240;
// The swats after it that an outcome counts (a hand at a person's floors making them).
constexpr int kForecastSwats = 3;
// A press is near the best when fewer than this many of its alternatives do better.
constexpr int kForecastNear = 3;

// What decides the next flies, at the first drain of a frame.
struct Deal {
    std::uint32_t random = 0;
    int spawned = 0, target = 0, divisor = 1;
    double baseSpeed = 0;
    int count = 0;
    FlyState flies[kForecastMostFlies];
};

// The round's deal now, from the game.
void CaptureDeal(Deal* out);
// A copy of the deal's own part (its live flies only).
void CopyDeal(Deal* to, const Deal& from);
// One frame on, without input: every fly's step, then a spawn when one comes.
void StepDeal(Deal* d);
// A press at (x, y): the flies it swats leave, and each one's debris draws its numbers.
// The number swatted; *hitsFly tells whether the fly at index `fly` was among them.
int PressDeal(Deal* d, int x, int y, int fly, bool* hitsFly);
// Frames until a hand at a person's floors, starting at (x, y), could have swatted the
// next `kForecastSwats` flies (or the round's last): each the first one shown on the
// screen that it reaches in time from the press before. `limit` + 1 when not by then.
// Plays the deal forward; *reach: the pixels the hand went.
int NextSwatFrames(Deal* d, int x, int y, int limit, int* reach);

// The rank of a press among its alternatives.
struct PressRank {
    int alternatives = 0;  // presses that swat the same fly, the real one among them
    int atBest = 0;        // of them, those near the best (fewer than kForecastNear better)
    bool best = false;     // the real press is one of those
};
// The real press at (x, y) in the frame of `*deals[now]`, swatting the fly at index `fly`,
// ranked among the same press up to `kForecastSpan` frames each side: deals[0..now] are
// the deals of the frames before it, in order (no swat or key between them). Works on
// `scratch` (two deals).
// Only presses a person could have made count: none before the frame `first` frames from
// the real one (negative: earlier), where the floors of its reach allow it.
void RankPress(const Deal* const* deals, int now, int first, int x, int y, int fly, Deal* scratch,
               PressRank* out);
