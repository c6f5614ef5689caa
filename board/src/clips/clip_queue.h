// Each wanted run's clip (WebM) and still (PNG of the clip's last frame that shows the
// round's clock), each with a caption of the run's name, mode and time, made once by
// the game in the verifier's sandbox, in a queue of its own: one worker, which lets the
// verifiers go first but never waits for them long (the machine may never be idle), kept
// in the clips folder as ID.webm and ID.png. A clip covers the round and a few seconds
// after it; it is made only for a run held for review or its player's best on its board
// (every run of a board's first page is one), within its sender's daily budget of clip
// seconds, and by one server of those sharing the database (its claim row says which).
// A job over its limits is dropped and logged (ID.failed and the claim remember it).
// Over the disk budget, the clips of runs no longer wanted go, oldest first.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>

namespace board {

class Store;
struct ServerOptions;
struct VerifierConfig;
struct VerifierPool;

struct ClipQueue {
  std::string dir;  // the clips folder; "" while the queue is off
  // What the worker reads the runs from, the sandbox it plays them in, and the
  // verifiers it lets go first (set by StartClipQueue).
  Store* store = nullptr;
  const VerifierConfig* verifier = nullptr;
  VerifierPool* pool = nullptr;
  std::string server;            // this server's name in the claims (host, process, start)
  int cpu_seconds = 120;         // RLIMIT_CPU of one clip
  int timeout_ms = 600000;       // wall clock of one clip, then SIGKILL
  int64_t budget_seconds = 600;  // clip seconds one sender may have made a day
  int64_t disk_bytes = 0;        // the clips folder's budget; 0 none
  size_t max_waiting = 10000;    // runs queued at once; the rest wait for a later scan
  int verifier_wait_ms = 2000;   // the longest a job lets waiting verifications go first

  std::mutex lock;
  std::condition_variable wake;
  std::deque<int64_t> waiting;
  std::unordered_set<int64_t> queued;
  int64_t making = 0;  // the run whose clip this server makes now
  bool stopping = false;
  std::thread worker;
  int64_t made = 0, dropped = 0, removed = 0;
};

enum class ClipState { kReady, kPending, kUnavailable };

// The file of a run's clip ("webm") or still ("png").
std::string ClipFile(const ClipQueue& q, int64_t id, const char* ext);
// Whether the run's clip is there, on its way, or will not be made (never queues it).
ClipState ClipStateOf(ClipQueue* q, int64_t id);
// What the board is doing about the run's clip, as the run's JSON says it: "made",
// "making" (this server or another sharing the database), "queued", or "none".
std::string ClipStatus(ClipQueue* q, int64_t id);
// Queues the run's clip unless it is made, queued or dropped before; whether it is
// wanted and whose it is are decided when its turn comes.
void QueueClip(ClipQueue* q, int64_t id);
// Makes the folder, queues the wanted runs without a clip (the newest first, bounded)
// and starts the worker. False when the folder cannot be made (logged; the board serves
// on without clips).
bool StartClipQueue(ClipQueue* q, const ServerOptions& options, Store* store, VerifierPool* pool);
void StopClipQueue(ClipQueue* q);

}  // namespace board
