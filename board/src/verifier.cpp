#include "verifier.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace board {

namespace {

using Clock = std::chrono::steady_clock;

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

void SetLimit(int resource, rlim_t value) {
  rlimit limit{value, value};
  setrlimit(resource, &limit);
}

// In the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void ExecChild(const VerifierConfig& config, const char* path, int out_fd) {
  setpgid(0, 0);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  signal(SIGPIPE, SIG_DFL);
  int null_fd = open("/dev/null", O_RDWR);
  if (null_fd < 0 || dup2(null_fd, 0) < 0 || dup2(out_fd, 1) < 0 || dup2(null_fd, 2) < 0)
    _exit(127);
  closefrom(3);
  SetLimit(RLIMIT_CPU, static_cast<rlim_t>(config.cpu_seconds));
  SetLimit(RLIMIT_AS, static_cast<rlim_t>(config.memory_mb) << 20);
  SetLimit(RLIMIT_FSIZE, 0);  // --verify writes nothing; a file it tried would be a fault
  SetLimit(RLIMIT_CORE, 0);
  // Verifying is batch work: reads of the boards come first when the cores are busy.
  setpriority(PRIO_PROCESS, 0, config.nice);
  const char* argv[] = {config.zumble.c_str(), "--verify", path, nullptr};
  execv(argv[0], const_cast<char* const*>(argv));
  _exit(127);
}

}  // namespace

Verdict RunVerifier(const VerifierConfig& config, std::string_view replay) {
  Verdict failed;
  std::string path = config.work_dir + "/replay-XXXXXX";
  int file = mkostemp(path.data(), O_CLOEXEC);
  if (file < 0) {
    failed.reason = "no room to verify";
    return failed;
  }
  bool written = WriteAll(file, replay);
  close(file);
  int pipe_fds[2];
  if (!written || pipe2(pipe_fds, O_CLOEXEC) != 0) {
    unlink(path.c_str());
    failed.reason = "no room to verify";
    return failed;
  }
  pid_t child = fork();
  if (child == 0) ExecChild(config, path.c_str(), pipe_fds[1]);
  close(pipe_fds[1]);
  if (child < 0) {
    close(pipe_fds[0]);
    unlink(path.c_str());
    failed.reason = "could not start the verifier";
    return failed;
  }
  setpgid(child, child);  // either side may win the race; both set the same group

  // Read its answer (bounded) until end of file or the deadline.
  auto deadline = Clock::now() + std::chrono::milliseconds(config.timeout_ms);
  std::string output;
  char buffer[512];
  bool timed_out = false;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      timed_out = true;
      break;
    }
    pollfd p{pipe_fds[0], POLLIN, 0};
    int ready = poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    ssize_t n = read(pipe_fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (output.size() < 4096) output.append(buffer, static_cast<size_t>(n));
  }
  close(pipe_fds[0]);

  // The child closed its output; it should be gone at once. Give it until the deadline.
  int status = 0;
  pid_t done = 0;
  while (!timed_out) {
    done = waitpid(child, &status, WNOHANG);
    if (done == child || (done < 0 && errno != EINTR)) break;
    if (Clock::now() >= deadline) timed_out = true;
    else std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (timed_out) {
    kill(-child, SIGKILL);
    kill(child, SIGKILL);
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    unlink(path.c_str());
    failed.kind = Verdict::kRefused;
    failed.reason = "invalid: verification took too long";
    return failed;
  }
  unlink(path.c_str());
  if (done != child) {
    failed.reason = "the verifier was lost";
    return failed;
  }
  if (WIFSIGNALED(status)) {
    // Out of CPU time (SIGXCPU) or memory (a crash) is the replay's doing as far as the
    // board can tell; refuse it rather than call it the server's fault.
    failed.kind = Verdict::kRefused;
    failed.reason = WTERMSIG(status) == SIGXCPU || WTERMSIG(status) == SIGKILL
                        ? "invalid: verification took too long"
                        : "invalid: the replay stopped the verifier";
    return failed;
  }
  return ReadVerdict(output, WEXITSTATUS(status));
}

bool VerifyInPool(VerifierPool* pool, const VerifierConfig& config, std::string_view replay,
                  Verdict* out) {
  {
    std::unique_lock<std::mutex> hold(pool->lock);
    if (pool->running >= pool->slots && pool->waiting >= pool->queue) return false;
    ++pool->waiting;
    pool->freed.wait(hold, [pool] { return pool->running < pool->slots; });
    --pool->waiting;
    ++pool->running;
  }
  *out = RunVerifier(config, replay);
  {
    std::lock_guard<std::mutex> hold(pool->lock);
    --pool->running;
  }
  pool->freed.notify_one();
  return true;
}

}  // namespace board
