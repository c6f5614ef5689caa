// Each shown run's clip (WebM) and still (PNG of its last frame), made once by the game
// in the verifier's sandbox, in a queue of its own: one worker, below the verifiers (it
// waits while any verification waits or runs), kept beside the database (a SQLite
// file's NAME-clips folder) as ID.webm and ID.png. A job over its limits is dropped and
// logged (ID.failed remembers it, so it is not tried again).
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
  // verifiers it waits for (set by StartClipQueue).
  Store* store = nullptr;
  const VerifierConfig* verifier = nullptr;
  VerifierPool* pool = nullptr;
  int cpu_seconds = 120;       // RLIMIT_CPU of one clip
  int timeout_ms = 600000;     // wall clock of one clip, then SIGKILL
  size_t max_waiting = 10000;  // runs queued at once; more are made when asked for

  std::mutex lock;
  std::condition_variable wake;
  std::deque<int64_t> waiting;
  std::unordered_set<int64_t> queued;
  bool stopping = false;
  std::thread worker;
  int64_t made = 0, dropped = 0;
};

enum class ClipState { kReady, kPending, kUnavailable };

// The file of a run's clip ("webm") or still ("png").
std::string ClipFile(const ClipQueue& q, int64_t id, const char* ext);
// Whether the run's clip is there, on its way, or will not be made.
ClipState ClipStateOf(ClipQueue* q, int64_t id);
// Queues the run's clip unless it is made, queued or dropped before.
void QueueClip(ClipQueue* q, int64_t id);
// Makes the folder, queues the shown runs stored before (the newest first, bounded) and
// starts the worker. False when the folder cannot be made (logged; the board serves on
// without clips).
bool StartClipQueue(ClipQueue* q, const ServerOptions& options, Store* store, VerifierPool* pool);
void StopClipQueue(ClipQueue* q);

}  // namespace board
