#pragma once
// What a round is, apart from how its file was written: a SHA-256 of its mode, seed,
// start state and inputs, never of the header's program text, flags, end byte, result or
// checksums. The same round sent again under other header text has the same identity.
// Inputs that cannot change what the game sees are left out: consecutive cursor moves
// count by where they end, a move to where the cursor already is, a frame's drains
// ending with nothing after them, activations and a release of a button that is up count
// as nothing, and the ticks count from frame 0's.

#include <cstddef>

#include "replay/core/replay_format.h"

// The identity of a parsed file's round as 64 lower-case hex digits (and a zero).
void ReplayRoundIdentity(const ReplayFile& file, char hex[65]);

// The header's program text as one token of the verifier's answer: printable ASCII but
// space and '%' as it is, those and every other byte as %XX; "-" when empty (and a text
// that is "-" itself as %2D). At most 48 characters.
void ReplayProgramToken(const ReplayHeader& header, char* out, std::size_t size);
