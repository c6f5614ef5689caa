// Warm verifiers: `zumble --verify-stream` processes kept ready, each given replay after
// replay, so that a verification costs the round and not the start of a program. Each
// replay still runs in a process of its own (the stream forks it from its fresh start),
// under the same limits as `zumble --verify`, within the same time. A member is replaced
// after a number of replays, after any answer the board cannot explain, when it dies and
// when a replay runs out of time; a member that dies while verifying has the replay
// verified again by a fresh one. A game without the stream is run once per replay.
#pragma once
#include <sys/types.h>

#include <mutex>
#include <string_view>
#include <vector>

#include "verify/verify_line.h"

namespace board {

struct VerifierConfig;

struct WarmMember {
  pid_t pid = -1;
  int to = -1;    // its standard input
  int from = -1;  // its output
  int played = 0;
  bool greeted = false;
};

struct WarmVerifiers {
  std::mutex lock;
  std::vector<WarmMember> idle;
  size_t keep = 2;  // idle members kept at most: the verifications that may run at once
  enum class Support { kUnknown, kYes, kNo } support = Support::kUnknown;
  bool stopping = false;
};

// Verifies one replay (see RunVerifier for stop_fd and *stopped). *lost is set when
// members died under it twice: the board's fault, worth trying again.
Verdict VerifyWarm(WarmVerifiers* warm, const VerifierConfig& config, std::string_view replay,
                   int stop_fd, bool* stopped, bool* lost);

// Starts members until `keep` are idle (at the server's start, so the first submission
// finds one ready). Nothing when the config says to run a process per replay.
void StartWarm(WarmVerifiers* warm, const VerifierConfig& config);

// Kills the idle members; from then on every member is killed when its replay is done.
void StopWarm(WarmVerifiers* warm);

}  // namespace board
