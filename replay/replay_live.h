#pragma once
// A round watched while it is played (a room's racer, relayed by the board): it comes as
// the racer sends it, in records (docs/replay-format.md, "A round as it is played"):
// 'h' the header as the round began, 'f' coded frames (a record may end inside a frame)
// and 'e' the header as the round ended with the rest of the file. The run starts from
// the round's head, the header and the frames so far; the rest is added as it comes into
// a buffer allocated once, at the start. The viewer plays the frames that are all there
// and, once the end has come, has the whole file.

#include <cstddef>
#include <cstdint>

#include "replay/core/replay_format.h"

// The most a watched round may hold: the whole file, and its frames (more than an hour,
// beyond any room's round).
constexpr std::size_t kLiveMostFile = std::size_t{1} << 20;
constexpr std::uint32_t kLiveMostFrames = 1u << 18;

// Before the run starts: the replay it is given is a round's head, not a whole file.
void ExpectLiveRound();
bool LiveRoundExpected();

// Takes the round's head: the header as the round began, then the frames that came so
// far. Allocates the buffer for the whole round. False with why.
bool LiveRoundStart(const std::uint8_t* head, std::size_t size, char* why, std::size_t whySize);

// What a record did to the round.
enum class LiveRecord {
    Taken,     // added (or a record already had, sent again after a new connection)
    NewRound,  // a header of another round: the racer began a new one, not added
    Refused,   // the round cannot go on: too long, not a round, or broken (LiveRoundFault)
    NoRound,   // no round is being watched (yet)
};
// One record as the board relays it: its kind byte, then its bytes.
LiveRecord LiveRoundAdd(const std::uint8_t* record, std::size_t size);

// The round as it stands: its header as it began (frames not known yet) with the frames
// so far, or, once the end has come, the whole file.
const ReplayFile& LiveRoundFile();
const std::uint8_t* LiveRoundInputEnd();
// Frames all of whose bytes have come.
std::uint32_t LiveRoundHeld();
bool LiveRoundEnded();
// Why the round cannot be followed further, or null.
const char* LiveRoundFault();

// Whether two headers of a round, as it began and as it ended, agree on everything its
// play reads: its mode, seed and start. (The flags say what delivered the input, noted
// as the frames go: a header sent before the first frame has none yet.)
bool SameRoundStart(const ReplayHeader& a, const ReplayHeader& b);
