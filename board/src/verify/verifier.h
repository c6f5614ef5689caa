// Plays a submitted replay with `zumble --verify` in a child process that can take down
// nothing: limited in CPU time, address space and wall-clock time, no shell, no input,
// its answer read up to a small bound, killed with the server. The replay reaches it in
// memory (never a file left on a disk). A pool shares the verifiers fairly between
// client addresses, and keeps warm ones (warm_verifier.h) that verify replay after replay.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "verify/verify_line.h"
#include "verify/warm_verifier.h"

namespace board {

struct VerifierConfig {
  std::string zumble;        // the game's executable
  std::string work_dir;      // where stale files of older servers are cleared away
  int cpu_seconds = 10;      // RLIMIT_CPU
  int memory_mb = 1024;      // RLIMIT_AS
  int timeout_ms = 20000;    // wall clock, then SIGKILL
  int nice = 10;             // scheduling priority of the child
  int stream_replays = 200;  // replays a warm verifier plays before it is replaced; 0: a
                             // process of its own for each replay
};

// Runs one verification now, in the calling thread. A write to stop_fd (an eventfd; -1
// for none) ends it early: *stopped is set and the child killed.
Verdict RunVerifier(const VerifierConfig& config, std::string_view replay, int stop_fd = -1,
                    bool* stopped = nullptr);

// Which swats of a long round the game's steering measure ranks is chosen by a key in its
// environment (ZUMBLE_SAMPLE_KEY): a secret the verifiers inherit, chosen at random here
// unless the operator set one, so that no player can know which swats are looked at.
// Before any thread starts.
void KeepSampleKeySecret();

// Removes the replay files an older server may have left in the work folder.
void RemoveStaleReplays(const std::string& work_dir);

using Clock = std::chrono::steady_clock;

// At most `slots` verifications at once and `queue` more waiting; one pending per
// address. Each address is charged the verifier time it holds; the waiting address that
// has used least goes first, one that has used its share waits for it to refill (429),
// and an address may take one slot more while every slot is held by addresses that
// have used much (a second at least) and twice what it has, so a player's round is not
// stuck behind someone's costly ones.
struct VerifierPool {
  std::mutex lock;
  std::condition_variable freed;
  int slots = 1;
  int queue = 32;
  double share_seconds = 30;  // verifier time an address may have used (refilling)
  double refill_per_second = 0.1;
  double light_seconds = 1;  // the extra slot is taken only from those using more

  int running = 0;
  bool extra_in_use = false;
  bool stopping = false;
  int stop_fd = -1;  // eventfd, written once when the server stops
  struct Address {
    double used = 0;  // seconds, as of `updated`
    Clock::time_point updated;
    Clock::time_point running_since;  // while a verification of it runs
    bool pending = false;
  };
  std::vector<std::string> running_addresses;
  std::unordered_map<std::string, Address> addresses;
  struct Waiter {
    std::string address;
    uint64_t ticket;
  };
  std::vector<Waiter> waiting;
  uint64_t next_ticket = 0;
  WarmVerifiers warm;  // its own lock; keep is slots + 1 (the extra slot)
};

// kLost: the verifier died under the replay twice (the board's trouble: try again soon).
enum class PoolAnswer { kVerified, kQueueFull, kAlreadyPending, kOverShare, kStopping, kLost };

// Verifies in the pool for this address (AddressKey's form). kVerified fills *out; for
// kOverShare *retry_after is the seconds until the address may submit again.
PoolAnswer VerifyInPool(VerifierPool* pool, const VerifierConfig& config,
                        const std::string& address, std::string_view replay, Verdict* out,
                        int* retry_after);

// Prepares the pool's stop signal and starts its warm verifiers when a config is given;
// false if it cannot (out of descriptors).
bool OpenVerifierPool(VerifierPool* pool, const VerifierConfig* config = nullptr);

// From any thread: waiting verifications are answered kStopping, running ones killed,
// the idle warm verifiers too.
void StopVerifiers(VerifierPool* pool);

}  // namespace board
