// A player's key: the secret that the first accepted run under a name receives, once,
// and that every later run under that name must carry. The board keeps only its hash.
// Also the review tokens that let an operator's watch link fetch a run not on the board.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "trust/digest.h"

namespace board {

// 32 bytes from libcrypto's random generator (seeded by the system), as "zk-" and 43
// base64url characters. Empty when there is no randomness to be had (the caller refuses
// to claim a name then).
std::string NewKey();

// What the board stores and compares: SHA-256 of the key (keys are random, so no
// slower hash is needed to keep them from being guessed from a copy of the database).
// Compared with SameSecret (trust/digest.h).
std::string KeyHash(std::string_view key);

// HMAC-SHA-256 of "review:ID" under the board's secret, in hex: the operator's pass to
// one held, hidden or rejected run's replay.
std::string ReviewToken(std::string_view secret, int64_t run_id);

}  // namespace board
