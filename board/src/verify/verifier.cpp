#include "verify/verifier.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "ops/metrics.h"
#include "verify/verifier_child.h"

namespace board {

namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// The replay in a descriptor with no name on any disk: memory (memfd), or an unnamed
// file in the work folder where memfd is missing. -1 when neither works.
int ReplayDescriptor(const VerifierConfig& config, std::string_view replay) {
  int fd = memfd_create("zumble-replay", MFD_CLOEXEC);
  if (fd < 0) fd = open(config.work_dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  if (!WriteAll(fd, replay) || lseek(fd, 0, SEEK_SET) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

void KeepSampleKeySecret() {
  if (getenv("ZUMBLE_SAMPLE_KEY")) return;
  uint64_t key = 0;
  while (key == 0) {  // 0 would be the fixed choice
    if (getrandom(&key, sizeof key, 0) != sizeof key) {
      key = static_cast<uint64_t>(Clock::now().time_since_epoch().count()) | 1;
    }
  }
  char text[17];
  snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(key));
  setenv("ZUMBLE_SAMPLE_KEY", text, 0);
}

void RemoveStaleReplays(const std::string& work_dir) {
  DIR* dir = opendir(work_dir.c_str());
  if (!dir) return;
  int removed = 0;
  while (dirent* entry = readdir(dir)) {
    // Older servers wrote replay-XXXXXX (mkstemp's six characters) and removed it after.
    const char* name = entry->d_name;
    if (strncmp(name, "replay-", 7) != 0 || strlen(name) != 13) continue;
    struct stat st {};
    if (fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        st.st_uid != geteuid())
      continue;
    if (unlinkat(dirfd(dir), name, 0) == 0) ++removed;
  }
  closedir(dir);
  if (removed)
    fprintf(stderr, "zumble-board: removed %d stale replay file%s from %s\n", removed,
            removed == 1 ? "" : "s", work_dir.c_str());
}

Verdict RunVerifier(const VerifierConfig& config, std::string_view replay, int stop_fd,
                    bool* stopped) {
  if (stopped) *stopped = false;
  int replay_fd = ReplayDescriptor(config, replay);
  if (replay_fd < 0) {
    fprintf(stderr, "zumble-board: cannot hold a replay for the verifier: %s\n", strerror(errno));
    return FailedVerdict("no room to verify");
  }
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(replay_fd);
    return FailedVerdict("could not start the verifier");
  }
  static const char* const kArgs[] = {"--verify", "/dev/fd/3", nullptr};
  pid_t child = StartVerifierChild(config, kArgs, -1, out[1], replay_fd);
  close(out[1]);
  close(replay_fd);
  if (child < 0) {
    close(out[0]);
    return FailedVerdict("could not start the verifier");
  }

  // Its answer (bounded) until end of file, the deadline or the server's stop.
  auto deadline = Clock::now() + std::chrono::milliseconds(config.timeout_ms);
  std::string output;
  char buffer[512];
  bool timed_out = false, stop = false;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      timed_out = true;
      break;
    }
    pollfd p[2] = {{out[0], POLLIN, 0}, {stop_fd, POLLIN, 0}};
    int ready = poll(p, stop_fd >= 0 ? 2 : 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    if (stop_fd >= 0 && (p[1].revents & POLLIN)) {
      stop = true;
      break;
    }
    ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (output.size() < 4096) output.append(buffer, static_cast<size_t>(n));
  }
  close(out[0]);

  // The child closed its output; it should be gone at once. Give it until the deadline.
  int status = 0;
  pid_t done = 0;
  while (!timed_out && !stop) {
    done = waitpid(child, &status, WNOHANG);
    if (done == child || (done < 0 && errno != EINTR)) break;
    if (Clock::now() >= deadline)
      timed_out = true;
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (timed_out || stop) {
    KillVerifierChild(child);
    if (stop) {
      if (stopped) *stopped = true;
      return FailedVerdict("the board is stopping");
    }
    Verdict v;
    v.kind = Verdict::kRefused;
    v.reason = "invalid: verification took too long";
    return v;
  }
  if (done != child) return FailedVerdict("the verifier was lost");
  if (WIFSIGNALED(status)) return SignalVerdict(WTERMSIG(status));
  return ReadVerdict(output, WEXITSTATUS(status));
}

namespace {

// The address's use as of now: refilled since it was last charged, and what a running
// verification of it has taken so far.
double UsedNow(const VerifierPool& pool, const VerifierPool::Address& a, Clock::time_point now) {
  double seconds = std::chrono::duration<double>(now - a.updated).count();
  double used = std::max(0.0, a.used - seconds * pool.refill_per_second);
  if (a.running_since != Clock::time_point{})
    used += std::chrono::duration<double>(now - a.running_since).count();
  return used;
}

// Whether every running verification is of an address that has used much, and far
// more than `mine` (twice as much at least).
bool AllRunningHeavier(const VerifierPool& pool, double mine, Clock::time_point now) {
  for (const std::string& address : pool.running_addresses) {
    double used = UsedNow(pool, pool.addresses.at(address), now);
    if (used < pool.light_seconds || used < 2 * mine) return false;
  }
  return true;
}

// Whether this waiter goes now: the least used of those waiting (the earliest among
// equals), and a slot free for it.
bool MayRun(const VerifierPool& pool, uint64_t ticket, Clock::time_point now, bool* extra) {
  *extra = false;
  const VerifierPool::Waiter* best = nullptr;
  double best_used = 0;
  double mine = 0;
  for (const VerifierPool::Waiter& w : pool.waiting) {
    double used = UsedNow(pool, pool.addresses.at(w.address), now);
    if (w.ticket == ticket) mine = used;
    if (!best || used < best_used || (used == best_used && w.ticket < best->ticket)) {
      best = &w;
      best_used = used;
    }
  }
  if (!best || best->ticket != ticket) return false;
  if (pool.running < pool.slots) return true;
  if (!pool.extra_in_use && AllRunningHeavier(pool, mine, now)) {
    *extra = true;
    return true;
  }
  return false;
}

void ForgetIdleAddresses(VerifierPool* pool, Clock::time_point now) {
  if (pool->addresses.size() < 10000) return;
  for (auto it = pool->addresses.begin(); it != pool->addresses.end();) {
    if (!it->second.pending && UsedNow(*pool, it->second, now) <= 0)
      it = pool->addresses.erase(it);
    else
      ++it;
  }
}

}  // namespace

bool OpenVerifierPool(VerifierPool* pool, const VerifierConfig* config) {
  pool->stop_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (pool->stop_fd < 0) return false;
  pool->warm.keep = static_cast<size_t>(pool->slots) + 1;
  if (config) StartWarm(&pool->warm, *config);
  return true;
}

void StopVerifiers(VerifierPool* pool) {
  {
    std::lock_guard<std::mutex> hold(pool->lock);
    pool->stopping = true;
  }
  pool->freed.notify_all();
  if (pool->stop_fd >= 0) {
    uint64_t one = 1;
    ssize_t ignored = write(pool->stop_fd, &one, sizeof one);
    (void)ignored;
  }
  StopWarm(&pool->warm);
}

PoolAnswer VerifyInPool(VerifierPool* pool, const VerifierConfig& config,
                        const std::string& address, std::string_view replay, Verdict* out,
                        int* retry_after) {
  bool extra = false;
  {
    std::unique_lock<std::mutex> hold(pool->lock);
    if (pool->stopping) return PoolAnswer::kStopping;
    Clock::time_point now = Clock::now();
    ForgetIdleAddresses(pool, now);
    VerifierPool::Address& a = pool->addresses[address];
    if (a.updated == Clock::time_point{}) a.updated = now;
    if (a.pending) return PoolAnswer::kAlreadyPending;
    double used = UsedNow(*pool, a, now);
    if (used >= pool->share_seconds) {
      *retry_after =
          1 + static_cast<int>(std::ceil((used - pool->share_seconds) / pool->refill_per_second));
      return PoolAnswer::kOverShare;
    }
    if (static_cast<int>(pool->waiting.size()) >= pool->queue && pool->running >= pool->slots)
      return PoolAnswer::kQueueFull;
    uint64_t ticket = pool->next_ticket++;
    pool->waiting.push_back({address, ticket});
    const Clock::time_point queued = Clock::now();
    a.pending = true;
    // Woken when a slot frees; and now and then, since a running verification turns its
    // address from light to heavy as it goes on.
    while (!pool->stopping && !MayRun(*pool, ticket, Clock::now(), &extra))
      pool->freed.wait_for(hold, std::chrono::milliseconds(100));
    pool->waiting.erase(
        std::find_if(pool->waiting.begin(), pool->waiting.end(),
                     [ticket](const VerifierPool::Waiter& w) { return w.ticket == ticket; }));
    if (pool->stopping) {
      pool->addresses[address].pending = false;
      pool->freed.notify_all();
      return PoolAnswer::kStopping;
    }
    if (extra)
      pool->extra_in_use = true;
    else
      ++pool->running;
    pool->addresses[address].running_since = Clock::now();
    pool->running_addresses.push_back(address);
    ObserveVerifyWait(std::chrono::duration<double>(Clock::now() - queued).count());
  }
  // Another waiter may be next in line for a slot still free.
  pool->freed.notify_all();
  bool stopped = false, lost = false;
  const Clock::time_point started = Clock::now();
  *out = VerifyWarm(&pool->warm, config, replay, pool->stop_fd, &stopped, &lost);
  ObserveVerifyTime(std::chrono::duration<double>(Clock::now() - started).count());
  {
    std::lock_guard<std::mutex> hold(pool->lock);
    Clock::time_point now = Clock::now();
    VerifierPool::Address& a = pool->addresses[address];
    a.used = UsedNow(*pool, a, now);  // with this verification's time
    a.updated = now;
    a.running_since = Clock::time_point{};
    a.pending = false;
    auto& r = pool->running_addresses;
    r.erase(std::find(r.begin(), r.end(), address));
    if (extra)
      pool->extra_in_use = false;
    else
      --pool->running;
  }
  pool->freed.notify_all();
  return stopped ? PoolAnswer::kStopping : lost ? PoolAnswer::kLost : PoolAnswer::kVerified;
}

}  // namespace board
