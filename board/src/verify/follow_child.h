// A racer's round played by the board as it comes: `zumble --verify-follow` in a child
// with the verifiers' limits, its records written to `in`, its lines (each swat, the
// frames played, the verdict) read from `out` (docs/replay-format.md).
#pragma once
#include <sys/types.h>

#include <string>

#include "verify/verifier.h"

namespace board {

struct FollowChild {
  pid_t pid = -1;
  int in = -1;   // write end: the records
  int out = -1;  // read end: the follower's lines
};

// Starts one; false when it could not (logged). Both ends are non-blocking and
// close-on-exec.
bool StartFollowChild(const VerifierConfig& config, FollowChild* out);

// One record as the follower reads it: KIND, a space, its length, a newline, the bytes.
std::string FollowRecord(char kind, const char* bytes, size_t size);

// Ends it at once (its descriptors are the caller's to close).
void StopFollowChild(FollowChild* child);

}  // namespace board
