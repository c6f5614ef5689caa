// Starting the game to verify: a child that can take down nothing. Limited in CPU time
// (per process: each replay a warm verifier plays runs in a process of its own) and
// address space, writing no file, below the server's priority (nice, and the batch
// policy: a reader's request preempts it at once), no shell, in a process group of its
// own, dying with the server.
#pragma once
#include <sys/resource.h>
#include <sys/types.h>

#include "verify/verifier.h"

namespace board {

// Runs config.zumble with `args` (null-terminated, at most ten, after the program's
// name): standard input from `in` (-1: /dev/null), output to `out`, and the replay, when
// `replay` >= 0, as descriptor 3 (/dev/fd/3). A verifier writes no file (file_bytes 0: one it tried
// would be a fault); a stream holds each replay in memory, which counts as a file, and
// gives its verifications none. The pid, or -1 when it could not start (logged).
pid_t StartVerifierChild(const VerifierConfig& config, const char* const* args, int in, int out,
                         int replay, rlim_t file_bytes = 0);

// What a verification ended by this signal says of its replay.
Verdict SignalVerdict(int signal_number);

// Kills the child's process group at once and reaps the child.
void KillVerifierChild(pid_t child);

}  // namespace board
