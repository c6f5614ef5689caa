// Plays a submitted replay with `zumble --verify` in a child process that can take down
// nothing: limited in CPU time, address space and wall-clock time, no shell, no input,
// its answer read up to a small bound. A pool bounds how many run at once.
#pragma once
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>

#include "verify_line.h"

namespace board {

struct VerifierConfig {
  std::string zumble;          // the game's executable
  std::string work_dir;        // where a replay is written for the child to read
  int cpu_seconds = 10;        // RLIMIT_CPU
  int memory_mb = 1024;        // RLIMIT_AS
  int timeout_ms = 20000;      // wall clock, then SIGKILL
  int nice = 10;               // scheduling priority of the child
};

// Runs one verification now, in the calling thread.
Verdict RunVerifier(const VerifierConfig& config, std::string_view replay);

// At most `slots` verifications at once, and at most `queue` more waiting for a slot.
struct VerifierPool {
  std::mutex lock;
  std::condition_variable freed;
  int slots = 1;
  int queue = 32;
  int running = 0;
  int waiting = 0;
};

// False (and nothing run) when the queue is full; otherwise waits for a slot and runs.
bool VerifyInPool(VerifierPool* pool, const VerifierConfig& config, std::string_view replay,
                  Verdict* out);

}  // namespace board
