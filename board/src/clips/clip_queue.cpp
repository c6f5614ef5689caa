#include "clips/clip_queue.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ops/metrics.h"
#include "server.h"
#include "store/store.h"
#include "trust/digest.h"
#include "verify/verifier_child.h"

namespace board {

namespace {

constexpr rlim_t kClipBytes = rlim_t{512} << 20;  // the most one clip may write
constexpr int kScanRuns = 1000;                   // older runs queued at start

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

// Runs the game with `args` over the replay in the verifier's sandbox, below the
// verifiers (nice 19 beside their 10, the same batch policy; not the idle one, under which
// reads flat out would starve a clip until its wall clock ran out). "" when it exited 0,
// else why not.
std::string RunGame(ClipQueue& q, const char* const* args, const std::string& replay) {
  VerifierConfig config = *q.verifier;
  config.cpu_seconds = q.cpu_seconds;
  config.nice = 19;
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

// The still first (one frame: cheap), then the clip. A run without a still still gets its
// clip (the page then previews without a picture).
void MakeClip(ClipQueue& q, int64_t id) {
  Run run;
  int64_t rank = 0;
  bool found = false, replay_found = false;
  std::string replay;
  if (!q.store->ShownRun(id, &run, &rank, &found) ||
      (found && !q.store->Replay(id, false, &replay, &replay_found))) {
    fprintf(stderr, "zumble-board: clip of run %lld: database: %s\n", static_cast<long long>(id),
            q.store->LastError().c_str());
    return;
  }
  if (!found || !replay_found) return;
  auto start = std::chrono::steady_clock::now();
  std::string png = ClipFile(q, id, "png"), webm = ClipFile(q, id, "webm");
  std::string script = q.dir + "/" + std::to_string(id) + ".shot";
  // A script's words are split at spaces: a folder with one in its name has no stills.
  std::string still =
      png.find_first_of(" \t\n") == std::string::npos ? "" : "a space in the folder's name";
  if (still.empty()) {
    Touch(script,
          std::to_string(run.frames > 0 ? run.frames - 1 : 0) + " shot " + png + ".partial\n");
    const char* still_args[] = {"--headless", "--replay",     "/dev/fd/3",
                                "--script",   script.c_str(), nullptr};
    still = RunGame(q, still_args, replay);
    unlink(script.c_str());
    if (still.empty() && rename((png + ".partial").c_str(), png.c_str()) != 0)
      still = "the game wrote none";
    unlink((png + ".partial").c_str());
  }
  if (still == "the board is stopping") return;
  if (!still.empty())
    fprintf(stderr, "zumble-board: still of run %lld not made: %s\n", static_cast<long long>(id),
            still.c_str());
  const char* clip_args[] = {"--replay", "/dev/fd/3", "--clip", webm.c_str(), nullptr};
  std::string why = RunGame(q, clip_args, replay);
  if (why.empty() && !Exists(webm)) why = "the game wrote no clip";
  unlink((webm + ".partial").c_str());
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (why == "the board is stopping") return;
  ObserveClip(seconds, why.empty());
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

// Below the verifiers: nothing starts while a verification waits or runs.
bool WaitForVerifiers(ClipQueue& q) {
  VerifierPool& pool = *q.pool;
  std::unique_lock<std::mutex> hold(pool.lock);
  for (;;) {
    {
      std::lock_guard<std::mutex> hold_queue(q.lock);
      if (q.stopping) return false;
    }
    if (pool.stopping) return false;
    if (pool.running == 0 && !pool.extra_in_use && pool.waiting.empty()) return true;
    pool.freed.wait_for(hold, std::chrono::milliseconds(200));
  }
}

void Work(ClipQueue* queue) {
  ClipQueue& q = *queue;
  for (;;) {
    {
      std::unique_lock<std::mutex> hold(q.lock);
      q.wake.wait(hold, [&q] { return q.stopping || !q.waiting.empty(); });
      if (q.stopping) return;
    }
    if (!WaitForVerifiers(q)) return;
    int64_t id;
    {
      std::lock_guard<std::mutex> hold(q.lock);
      if (q.waiting.empty()) continue;
      id = q.waiting.front();
      q.waiting.pop_front();
    }
    MakeClip(q, id);
    std::lock_guard<std::mutex> hold(q.lock);
    q.queued.erase(id);
  }
}

}  // namespace

std::string ClipFile(const ClipQueue& q, int64_t id, const char* ext) {
  return q.dir + "/" + std::to_string(id) + "." + ext;
}

ClipState ClipStateOf(ClipQueue* q, int64_t id) {
  if (q->dir.empty()) return ClipState::kUnavailable;
  if (Exists(ClipFile(*q, id, "webm"))) return ClipState::kReady;
  if (Exists(q->dir + "/" + std::to_string(id) + ".failed")) return ClipState::kUnavailable;
  QueueClip(q, id);  // a run stored before the board made clips: made when first asked for
  return ClipState::kPending;
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
  // Beside the database: a SQLite file's folder NAME-clips, or for PostgreSQL one in the
  // work folder named by its address (so that two boards never share a run's number).
  const std::string& db = options.db;
  bool postgres = db.rfind("postgres://", 0) == 0 || db.rfind("postgresql://", 0) == 0;
  std::string dir = postgres ? options.verifier.work_dir + "/clips-" + Sha256Hex(db).substr(0, 16)
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
  RunFilter shown;
  shown.state = "shown";
  Page page;
  if (q.store->ListRuns(shown, kScanRuns, 0, &page))
    for (const Run& run : page.runs) QueueClip(&q, run.id);
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
