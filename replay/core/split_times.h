#pragma once
// The arithmetic of splits: a round's clock at each swat count set against a reference
// round's, and the words the results board says of a time. Plain functions over numbers,
// for the game, the page and the board alike.

#include <cstddef>
#include <cstdint>

// The most flies a round asks for, so the most counts a round's splits hold.
constexpr int kSplitsMostCounts = 1000;
// Room for any text below.
constexpr std::size_t kSplitsTextSize = 96;

// Splits: times[k] is the clock (ms) when the round's count of swatted flies first reached
// k + 1, for k < counts (one click that swats several flies gives them all one time).

// How far the clock at `count` (`clockMs`) is from the reference's at the same count:
// negative ahead, positive behind. False when the reference never reached that count
// (or count < 1).
bool SplitDeltaAt(const std::uint32_t* reference, int referenceCounts, int count,
                  std::uint32_t clockMs, std::int64_t* deltaMs);

// The reference's count when its clock showed `clockMs`: how many swats it had made by then.
int SplitCountAt(const std::uint32_t* reference, int referenceCounts, std::uint32_t clockMs);

// A delta in seconds to the hundredth, rounded half away from zero: "-0.42", "+1.20",
// "0.00". Returns -1 when it reads ahead, +1 behind, 0 level.
int SplitDeltaText(std::int64_t deltaMs, char* out, std::size_t capacity);

// A clock as the game shows it: "0:33.604" (minutes without a bound).
void SplitClockText(std::uint32_t ms, char* out, std::size_t capacity);

// What the results board says of a finished round.
struct SplitResult {
    int flies = 10;
    int speed = 1;  // 1..4
    std::uint32_t timeMs = 0;
    bool hadBest = false;  // the mode had a time before the round
    std::uint32_t oldBestMs = 0;
    int place = -1;                  // where the time entered the mode's table, 0..4; -1: not in it
    const char* raceName = nullptr;  // the run raced, or null
    std::uint32_t raceMs = 0;
    bool paceChanged = false;  // Enter or Space changed how fast the flies came
};
constexpr int kSplitResultLines = 5;

// The board's lines, each closed: the mode in words and the time; "new best" and by how
// much (or how far from the best); where the time entered the table; against the run
// raced; and that the pace was changed. Returns how many lines were written.
int SplitResultLines(const SplitResult& result, char lines[kSplitResultLines][kSplitsTextSize]);
