#pragma once
// What a round is, apart from how its file was written: a SHA-256 of its mode, seed,
// start state and inputs, never of the header's program text, flags, end byte, result or
// checksums. The same round sent again under other header text has the same identity.
// Inputs that cannot change what the game sees are left out: consecutive cursor moves
// count by where they end, a move to where the cursor already is, a frame's drains
// ending with nothing after them, activations and a release of a button that is up count
// as nothing, and the ticks count from frame 0's.

#include <cstddef>
#include <cstdint>

#include "replay/core/replay_format.h"

// The identity of a parsed file's round as 64 lower-case hex digits (and a zero).
void ReplayRoundIdentity(const ReplayFile& file, char hex[65]);

// The round by what the game did, whatever the inputs between its swats or after its
// clock stopped: SHA-256 of "zumble swats\n", then as 32-bit little-endian numbers the fly
// count (10, 30, 100, 1000), the speed (1..4), the seed (the calendar time the round
// read), the number of flies swatted and, for each in the order swatted, the frame of its
// swat counted from the frame that began the round (the one that ran its start). As 64
// lower-case hex digits (and a zero).
void ReplaySwatsIdentity(int flies, int speed, std::uint32_t seed, const std::uint32_t* frames,
                         std::size_t count, char hex[65]);

// The header's program text as one token of the verifier's answer: printable ASCII but
// space and '%' as it is, those and every other byte as %XX; "-" when empty (and a text
// that is "-" itself as %2D). At most 48 characters.
void ReplayProgramToken(const ReplayHeader& header, char* out, std::size_t size);
