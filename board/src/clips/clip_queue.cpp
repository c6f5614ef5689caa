#include "clips/clip_queue.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "clips/clip_disk.h"
#include "ops/metrics.h"
#include "replay/core/mode_words.h"
#include "replay/core/split_times.h"
#include "server.h"
#include "store/store.h"
#include "trust/digest.h"
#include "verify/verifier_child.h"

namespace board {

namespace {

constexpr rlim_t kClipBytes = rlim_t{512} << 20;  // the most one clip may write
constexpr int kScanRuns = 1000;                   // wanted runs queued by a scan
constexpr int kScanSeconds = 300;                 // an idle worker scans again this often
// A clip ends this long after the round's clock stops: the last swat and the results.
constexpr int64_t kClipTailMs = 3000;

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

void Touch(const std::string& path, const std::string& why) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  ssize_t ignored = write(fd, why.data(), why.size());
  (void)ignored;
  close(fd);
}

int MemoryFile(const std::string& bytes) {
  int fd = memfd_create("zumble-clip", MFD_CLOEXEC);
  if (fd < 0) return -1;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      close(fd);
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  return fd;
}

// Runs the game with `args` over the replay in the verifier's sandbox, at the
// verifiers' own priority (nice 10 and the batch policy: below the readers, beside a
// verification, so that a busy machine still gives a clip its share; at nice 19 a
// machine never idle gave it next to nothing). "" when it exited 0, else why not.
std::string RunGame(ClipQueue& q, const char* const* args, const std::string& replay) {
  VerifierConfig config = *q.verifier;
  config.cpu_seconds = q.cpu_seconds;
  int replay_fd = MemoryFile(replay);
  int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  pid_t child = replay_fd >= 0 && null_fd >= 0
                    ? StartVerifierChild(config, args, -1, null_fd, replay_fd, kClipBytes)
                    : -1;
  if (replay_fd >= 0) close(replay_fd);
  if (null_fd >= 0) close(null_fd);
  if (child < 0) return "the game could not be started";
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(q.timeout_ms);
  int status = 0;
  for (;;) {
    pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) break;
    if (done < 0 && errno != EINTR) return "the game was lost";
    bool stop;
    {
      std::lock_guard<std::mutex> hold(q.lock);
      stop = q.stopping;
    }
    if (stop || std::chrono::steady_clock::now() >= deadline) {
      KillVerifierChild(child);
      return stop ? "the board is stopping" : "over its time limit";
    }
    usleep(20000);
  }
  if (WIFSIGNALED(status))
    return WTERMSIG(status) == SIGXCPU
               ? "over its CPU limit"
               : std::string("stopped by signal ") + strsignal(WTERMSIG(status));
  if (WEXITSTATUS(status) != 0) return "the game exited " + std::to_string(WEXITSTATUS(status));
  return "";
}

// The seconds of the round a clip covers: the round and kClipTailMs after its clock
// stops (a round left on the results board for an hour is not an hour of video).
int64_t ClipMs(const Run& run) { return run.time_ms + kClipTailMs; }

// What the clip and the still say along their foot: whose run, its mode and its time
// ("Rhea  10 flies, NORMAL  0:07.234").
std::string Caption(const Run& run) {
  char mode[48], clock[32];
  ModeName(run.flies, run.speed, mode, sizeof mode);
  SplitClockText(static_cast<std::uint32_t>(run.time_ms), clock, sizeof clock);
  return run.name + "  " + mode + "  " + clock;
}

// The still first (one frame: cheap), then the clip, once this server holds the clip's
// claim. A run without a still still gets its clip (the page then previews without a
// picture).
void MakeClip(ClipQueue& q, int64_t id) {
  Run run;
  bool found = false, replay_found = false, wanted = false;
  std::string replay;
  // Most runs stored are no player's best: a read says so without the claim's write.
  if (!q.store->ClipWanted(id, &wanted)) {
    fprintf(stderr, "zumble-board: clip of run %lld: database: %s\n", static_cast<long long>(id),
            q.store->LastError().c_str());
    return;
  }
  if (!wanted) return;
  if (!q.store->FindRun(id, &run, &found) ||
      (found && !q.store->Replay(id, true, &replay, &replay_found))) {
    fprintf(stderr, "zumble-board: clip of run %lld: database: %s\n", static_cast<long long>(id),
            q.store->LastError().c_str());
    return;
  }
  if (!found || !replay_found) return;
  const int64_t clip_ms = ClipMs(run);
  const int64_t now = static_cast<int64_t>(time(nullptr));
  // A claim older than two of the clip's wall clocks belongs to a server that died.
  const int64_t stale = now - 2 * (q.timeout_ms / 1000 + 1) - 60;
  Store::ClipClaim claim = Store::ClipClaim::kTaken;
  std::string why;
  if (!q.store->ClaimClip(id, q.server, now, stale, (clip_ms + 999) / 1000, q.budget_seconds,
                          &claim, &why)) {
    fprintf(stderr, "zumble-board: clip of run %lld: database: %s\n", static_cast<long long>(id),
            q.store->LastError().c_str());
    return;
  }
  if (claim == Store::ClipClaim::kOverBudget)
    fprintf(stderr, "zumble-board: clip of run %lld not made: over its sender's clip budget\n",
            static_cast<long long>(id));
  if (claim == Store::ClipClaim::kTaken && why.rfind("server ", 0) == 0)
    fprintf(stderr, "zumble-board: clip of run %lld left to another: %s\n",
            static_cast<long long>(id), why.c_str());
  if (claim != Store::ClipClaim::kClaimed) return;
  {
    std::lock_guard<std::mutex> hold(q.lock);
    q.making = id;
  }
  auto start = std::chrono::steady_clock::now();
  std::string png = ClipFile(q, id, "png"), webm = ClipFile(q, id, "webm");
  char to[32];
  snprintf(to, sizeof to, "%lld.%03lld", static_cast<long long>(clip_ms / 1000),
           static_cast<long long>(clip_ms % 1000));
  const std::string caption = Caption(run);
  // The still is the clip's last frame that shows the round's clock (the game picks it:
  // the results board blinks the time).
  const char* still_args[] = {"--replay", "/dev/fd/3",      "--clip",        png.c_str(), "--to",
                              to,         "--clip-caption", caption.c_str(), nullptr};
  std::string still = RunGame(q, still_args, replay);
  if (still.empty() && !Exists(png)) still = "the game wrote none";
  unlink((png + ".partial").c_str());
  if (!still.empty() && still != "the board is stopping")
    fprintf(stderr, "zumble-board: still of run %lld not made: %s\n", static_cast<long long>(id),
            still.c_str());
  why = still == "the board is stopping" ? still : "";
  if (why.empty()) {
    const char* clip_args[] = {"--replay", "/dev/fd/3",      "--clip",        webm.c_str(), "--to",
                               to,         "--clip-caption", caption.c_str(), nullptr};
    why = RunGame(q, clip_args, replay);
    if (why.empty() && !Exists(webm)) why = "the game wrote no clip";
    unlink((webm + ".partial").c_str());
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  {
    std::lock_guard<std::mutex> hold(q.lock);
    q.making = 0;
  }
  // Stopping lets the claim go, so that the next server to start makes the clip.
  if (why == "the board is stopping") {
    q.store->DropClipClaim(id);
    return;
  }
  ObserveClip(seconds, why.empty());
  // Said before the database says so, so that whoever reads the clip's state as made finds
  // the line already written.
  {
    std::lock_guard<std::mutex> hold(q.lock);
    if (why.empty()) {
      ++q.made;
      fprintf(stderr, "zumble-board: clip of run %lld made in %.1f s\n", static_cast<long long>(id),
              seconds);
    } else {
      ++q.dropped;
      Touch(q.dir + "/" + std::to_string(id) + ".failed", why + "\n");
      fprintf(stderr, "zumble-board: clip of run %lld dropped: %s (after %.1f s)\n",
              static_cast<long long>(id), why.c_str(), seconds);
    }
  }
  if (!q.store->FinishClip(id, q.server, why.empty() ? "made" : "failed", why))
    fprintf(stderr, "zumble-board: clip of run %lld: database: %s\n", static_cast<long long>(id),
            q.store->LastError().c_str());
}

// The verifiers go first: a job waits while a verification waits or runs, but for
// q.verifier_wait_ms at most, so that a machine never idle still makes its clips.
bool LetVerifiersGoFirst(ClipQueue& q) {
  VerifierPool& pool = *q.pool;
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(q.verifier_wait_ms);
  std::unique_lock<std::mutex> hold(pool.lock);
  for (;;) {
    {
      std::lock_guard<std::mutex> hold_queue(q.lock);
      if (q.stopping) return false;
    }
    if (pool.stopping) return false;
    if (pool.running == 0 && !pool.extra_in_use && pool.waiting.empty()) return true;
    if (std::chrono::steady_clock::now() >= until) return true;
    pool.freed.wait_for(hold, std::chrono::milliseconds(200));
  }
}

// The wanted runs without a clip, newest first: those stored before the board made
// clips, those whose clip was removed for room and is wanted again, those another
// server claimed and left.
void ScanWanted(ClipQueue& q) {
  std::vector<int64_t> ids;
  if (!q.store->WantedClips(kScanRuns, &ids)) return;
  for (int64_t id : ids) QueueClip(&q, id);
}

void Work(ClipQueue* queue) {
  ClipQueue& q = *queue;
  auto next_scan = std::chrono::steady_clock::now() + std::chrono::seconds(kScanSeconds);
  for (;;) {
    bool scan = false;
    {
      std::unique_lock<std::mutex> hold(q.lock);
      q.wake.wait_until(hold, next_scan, [&q] { return q.stopping || !q.waiting.empty(); });
      if (q.stopping) return;
      scan = q.waiting.empty();
    }
    if (scan) {
      ScanWanted(q);
      next_scan = std::chrono::steady_clock::now() + std::chrono::seconds(kScanSeconds);
      continue;
    }
    if (!LetVerifiersGoFirst(q)) return;
    int64_t id;
    {
      std::lock_guard<std::mutex> hold(q.lock);
      if (q.waiting.empty()) continue;
      id = q.waiting.front();
      q.waiting.pop_front();
    }
    MakeClip(q, id);
    {
      std::lock_guard<std::mutex> hold(q.lock);
      q.queued.erase(id);
    }
    KeepClipsWithinBudget(&q);
  }
}

}  // namespace

std::string ClipFile(const ClipQueue& q, int64_t id, const char* ext) {
  return q.dir + "/" + std::to_string(id) + "." + ext;
}

ClipState ClipStateOf(ClipQueue* q, int64_t id) {
  if (q->dir.empty()) return ClipState::kUnavailable;
  if (Exists(ClipFile(*q, id, "webm"))) return ClipState::kReady;
  std::string status = ClipStatus(q, id);
  return status == "queued" || status == "making" ? ClipState::kPending : ClipState::kUnavailable;
}

std::string ClipStatus(ClipQueue* q, int64_t id) {
  if (q->dir.empty()) return "none";
  if (Exists(ClipFile(*q, id, "webm"))) return "made";
  {
    std::lock_guard<std::mutex> hold(q->lock);
    if (q->making == id) return "making";
    if (q->queued.count(id)) return "queued";
  }
  // Another server sharing the database may be making it.
  std::string state, server;
  int64_t at = 0;
  if (!q->store->ClipClaimOf(id, &state, &server, &at)) return "none";
  const int64_t stale = static_cast<int64_t>(time(nullptr)) - 2 * (q->timeout_ms / 1000 + 1) - 60;
  return state == "making" && at >= stale ? "making" : "none";
}

void QueueClip(ClipQueue* q, int64_t id) {
  if (q->dir.empty()) return;
  std::lock_guard<std::mutex> hold(q->lock);
  if (q->stopping || q->queued.count(id) || q->waiting.size() >= q->max_waiting) return;
  if (Exists(ClipFile(*q, id, "webm")) || Exists(q->dir + "/" + std::to_string(id) + ".failed"))
    return;
  q->queued.insert(id);
  q->waiting.push_back(id);
  q->wake.notify_one();
}

bool StartClipQueue(ClipQueue* queue, const ServerOptions& options, Store* store,
                    VerifierPool* pool) {
  ClipQueue& q = *queue;
  // --clip-dir (a folder every server sharing the database reaches), else beside the
  // database: a SQLite file's folder NAME-clips, or for PostgreSQL one in the work folder
  // named by its address (so that two boards never share a run's number). A clip is made
  // by one server and served by each from this folder.
  const std::string& db = options.db;
  bool postgres = db.rfind("postgres://", 0) == 0 || db.rfind("postgresql://", 0) == 0;
  std::string dir = !options.clip_dir.empty() ? options.clip_dir
                    : postgres ? options.verifier.work_dir + "/clips-" + Sha256Hex(db).substr(0, 16)
                               : db + "-clips";
  if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
    fprintf(stderr, "zumble-board: no clips: cannot make %s: %s\n", dir.c_str(), strerror(errno));
    return false;
  }
  q.dir = dir;
  q.store = store;
  q.verifier = &options.verifier;
  q.pool = pool;
  q.cpu_seconds = options.clip_cpu_seconds;
  q.timeout_ms = options.clip_timeout_ms > 0 ? options.clip_timeout_ms : q.cpu_seconds * 4000;
  q.budget_seconds = options.clip_budget_seconds;
  q.disk_bytes = options.clip_disk_mb << 20;
  char host[256] = "";
  gethostname(host, sizeof host - 1);
  q.server = std::string(host) + ":" + std::to_string(getpid()) + ":" +
             std::to_string(static_cast<long long>(time(nullptr)));
  KeepClipsWithinBudget(&q);
  ScanWanted(q);
  q.worker = std::thread(Work, &q);
  return true;
}

void StopClipQueue(ClipQueue* q) {
  {
    std::lock_guard<std::mutex> hold(q->lock);
    q->stopping = true;
  }
  q->wake.notify_all();
  if (q->worker.joinable()) q->worker.join();
}

}  // namespace board
