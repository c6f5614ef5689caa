#pragma once
// A reference round for the splits: its replay played out of sight, inside a frame of the
// game that goes on, to read the clock at each count of swatted flies. The game's state
// (every global a round touches, its containers, the random sequence, the cursor) is kept
// before and put back after, nothing is drawn, shown, heard, paced, counted or recorded
// meanwhile, and nothing is allocated: the game then plays on exactly as it would have.

#include <cstddef>
#include <cstdint>

#include "replay/core/replay_format.h"
#include "replay/core/split_times.h"

// The reference's splits: times[k] is its clock when its count first reached k + 1.
struct ReferenceSplits {
    int counts = 0;
    std::uint32_t times[kSplitsMostCounts];
};

// Takes the room to keep the game's state once (at start-up); false without it.
bool PrepareReferenceRounds();

// Plays `file` (parsed) from its start to its last swat and fills *out. False when it
// cannot be played to its end here: no room kept, a desync (a state that differs from the file's
// checksums), a round left before its last fly, or a time other than the file's.
bool PlayReferenceRound(const ReplayFile& file, ReferenceSplits* out);
