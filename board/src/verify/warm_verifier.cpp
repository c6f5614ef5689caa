#include "verify/warm_verifier.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "http/request_parse.h"
#include "verify/verifier.h"
#include "verify/verifier_child.h"

namespace board {

namespace {

constexpr char kHello[] = "zumble-verify-stream 1";
constexpr size_t kMaxLine = 8192;
// What a stream may write: the replay it holds in memory (the game keeps at most a byte
// more than the largest replay, about 17 MB).
constexpr rlim_t kStreamFileBytes = rlim_t{32} << 20;

enum class Step { kDone, kTimedOut, kStopped, kClosed, kError };

// Until the descriptor is ready for `events`, the deadline passes or the server stops.
Step WaitFor(int fd, short events, Clock::time_point deadline, int stop_fd) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return Step::kTimedOut;
    pollfd p[2] = {{fd, events, 0}, {stop_fd, POLLIN, 0}};
    int ready = poll(p, stop_fd >= 0 ? 2 : 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return Step::kError;
    if (ready == 0) continue;
    if (stop_fd >= 0 && (p[1].revents & POLLIN)) return Step::kStopped;
    if (p[0].revents) return Step::kDone;
  }
}

Step WriteWithin(int fd, std::string_view bytes, Clock::time_point deadline, int stop_fd) {
  while (!bytes.empty()) {
    ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      Step step = WaitFor(fd, POLLOUT, deadline, stop_fd);
      if (step != Step::kDone) return step;
      continue;
    }
    return Step::kClosed;  // EPIPE: the member is gone
  }
  return Step::kDone;
}

// One line of the member's output, without its newline. The stream writes nothing
// until it is given a replay, so more than the line is not the stream.
Step ReadLineWithin(int fd, std::string* line, Clock::time_point deadline, int stop_fd) {
  line->clear();
  char buffer[1024];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      line->append(buffer, static_cast<size_t>(n));
      size_t end = line->find('\n');
      if (end != std::string::npos) {
        if (end + 1 != line->size()) return Step::kError;
        line->resize(end);
        return Step::kDone;
      }
      if (line->size() > kMaxLine) return Step::kError;
      continue;
    }
    if (n == 0) return Step::kClosed;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return Step::kError;
    Step step = WaitFor(fd, POLLIN, deadline, stop_fd);
    if (step != Step::kDone) return step;
  }
}

bool StartMember(const VerifierConfig& config, WarmMember* m) {
  int to[2], from[2];
  if (pipe2(to, O_CLOEXEC) != 0) return false;
  if (pipe2(from, O_CLOEXEC) != 0) {
    close(to[0]);
    close(to[1]);
    return false;
  }
  static const char* const kArgs[] = {"--verify-stream", nullptr};
  pid_t pid = StartVerifierChild(config, kArgs, to[0], from[1], -1, kStreamFileBytes);
  close(to[0]);
  close(from[1]);
  if (pid < 0) {
    close(to[1]);
    close(from[0]);
    return false;
  }
  fcntl(to[1], F_SETFL, O_NONBLOCK);
  fcntl(from[0], F_SETFL, O_NONBLOCK);
  *m = WarmMember{};
  m->pid = pid;
  m->to = to[1];
  m->from = from[0];
  return true;
}

void CloseMember(WarmMember* m) {
  if (m->to >= 0) close(m->to);
  if (m->from >= 0) close(m->from);
  m->to = m->from = -1;
}

void EndMember(WarmMember* m) {
  CloseMember(m);
  if (m->pid > 0) KillVerifierChild(m->pid);
  m->pid = -1;
}

// How a member that closed its output ended: its exit status, or -1 for a signal (or
// one that would not end, killed after a moment).
int ReapMember(WarmMember* m) {
  CloseMember(m);
  int status = 0;
  for (int i = 0; i < 200; ++i) {
    pid_t done = waitpid(m->pid, &status, WNOHANG);
    if (done == m->pid) {
      kill(-m->pid, SIGKILL);  // whatever it left in its group
      m->pid = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (done < 0 && errno != EINTR) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EndMember(m);
  return -1;
}

bool TakeMember(WarmVerifiers* warm, const VerifierConfig& config, WarmMember* m) {
  {
    std::lock_guard<std::mutex> hold(warm->lock);
    if (!warm->idle.empty()) {
      *m = warm->idle.back();
      warm->idle.pop_back();
      return true;
    }
  }
  return StartMember(config, m);
}

void PutBack(WarmVerifiers* warm, WarmMember* m) {
  {
    std::lock_guard<std::mutex> hold(warm->lock);
    if (!warm->stopping && warm->support != WarmVerifiers::Support::kNo &&
        warm->idle.size() < warm->keep) {
      warm->idle.push_back(*m);
      return;
    }
  }
  EndMember(m);
}

// Ends a member that is done with and starts its successor at once: the next replay
// should not wait for a program's start.
void Replace(WarmVerifiers* warm, const VerifierConfig& config, WarmMember* m) {
  if (m->pid > 0) EndMember(m);
  WarmMember fresh;
  {
    std::lock_guard<std::mutex> hold(warm->lock);
    if (warm->stopping || warm->idle.size() >= warm->keep) return;
  }
  if (StartMember(config, &fresh)) PutBack(warm, &fresh);
}

// The game answered the stream with something else (an older game, a stand-in): it is
// run once per replay from now on.
void NoStream(WarmVerifiers* warm, const VerifierConfig& config, WarmMember* m) {
  EndMember(m);
  std::vector<WarmMember> idle;
  {
    std::lock_guard<std::mutex> hold(warm->lock);
    if (warm->support != WarmVerifiers::Support::kNo)
      fprintf(stderr, "zumble-board: %s has no --verify-stream: one verifier process per replay\n",
              config.zumble.c_str());
    warm->support = WarmVerifiers::Support::kNo;
    idle.swap(warm->idle);
  }
  for (WarmMember& other : idle) EndMember(&other);
}

// The member's answer: "exit STATUS TEXT" (what --verify printed, and its status) or
// "signal NUMBER". *explained is false for anything the board cannot account for.
Verdict ReadAnswer(const std::string& line, bool* explained) {
  *explained = false;
  std::string_view rest = line;
  int64_t number = 0;
  if (rest.substr(0, 5) == "exit ") {
    rest.remove_prefix(5);
    size_t space = rest.find(' ');
    if (space != std::string_view::npos && ParseCount(rest.substr(0, space), 255, &number)) {
      Verdict v = ReadVerdict(rest.substr(space + 1), static_cast<int>(number));
      *explained = v.kind != Verdict::kFailed;
      return v;
    }
  } else if (rest.substr(0, 7) == "signal " && ParseCount(rest.substr(7), 128, &number)) {
    *explained = number == SIGXCPU;  // the CPU limit, as a process of its own meets it
    return SignalVerdict(static_cast<int>(number));
  }
  return FailedVerdict("the verifier's answer was not understood");
}

}  // namespace

Verdict VerifyWarm(WarmVerifiers* warm, const VerifierConfig& config, std::string_view replay,
                   int stop_fd, bool* stopped, bool* lost) {
  *stopped = false;
  *lost = false;
  bool streams = config.stream_replays > 0;
  if (streams) {
    std::lock_guard<std::mutex> hold(warm->lock);
    streams = warm->support != WarmVerifiers::Support::kNo;
  }
  if (!streams) return RunVerifier(config, replay, stop_fd, stopped);
  // The replay's time runs from here, whichever member plays it.
  auto deadline = Clock::now() + std::chrono::milliseconds(config.timeout_ms);
  const std::string length = std::to_string(replay.size()) + "\n";
  // Members found dead before they took the replay (killed while idle) are only
  // replaced; twice lost under the replay, it is given up.
  int lost_under = 0;
  for (int tries = 0; lost_under < 2 && tries < 4; ++tries) {
    WarmMember m;
    if (!TakeMember(warm, config, &m)) return FailedVerdict("could not start the verifier");
    bool delivered = false;
    std::string line;
    Step step = Step::kDone;
    if (!m.greeted) {
      step = ReadLineWithin(m.from, &line, deadline, stop_fd);
      // A game that does not know the option says so (one line, or exit status 2).
      if ((step == Step::kDone && line != kHello) ||
          (step == Step::kClosed && ReapMember(&m) == 2)) {
        NoStream(warm, config, &m);
        return RunVerifier(config, replay, stop_fd, stopped);
      }
      m.greeted = step == Step::kDone;
      if (m.greeted) {
        std::lock_guard<std::mutex> hold(warm->lock);
        warm->support = WarmVerifiers::Support::kYes;
      }
    }
    if (step == Step::kDone) step = WriteWithin(m.to, length, deadline, stop_fd);
    if (step == Step::kDone) step = WriteWithin(m.to, replay, deadline, stop_fd);
    if (step == Step::kDone) {
      delivered = true;
      step = ReadLineWithin(m.from, &line, deadline, stop_fd);
    }
    switch (step) {
      case Step::kDone: {
        bool explained = false;
        Verdict v = ReadAnswer(line, &explained);
        if (explained && ++m.played < config.stream_replays)
          PutBack(warm, &m);
        else
          Replace(warm, config, &m);
        return v;
      }
      case Step::kTimedOut: {
        Replace(warm, config, &m);
        Verdict v;
        v.kind = Verdict::kRefused;
        v.reason = "invalid: verification took too long";
        return v;
      }
      case Step::kStopped:
        EndMember(&m);
        *stopped = true;
        return FailedVerdict("the board is stopping");
      case Step::kClosed:
      case Step::kError:
        // Lost under the replay (killed, out of processes): a fresh member plays it.
        if (delivered) ++lost_under;
        Replace(warm, config, &m);
        break;
    }
  }
  *lost = true;
  return FailedVerdict("the verifier was lost");
}

void StartWarm(WarmVerifiers* warm, const VerifierConfig& config) {
  if (config.stream_replays <= 0) return;
  for (;;) {
    {
      std::lock_guard<std::mutex> hold(warm->lock);
      if (warm->stopping || warm->idle.size() >= warm->keep ||
          warm->support == WarmVerifiers::Support::kNo)
        return;
    }
    WarmMember m;
    if (!StartMember(config, &m)) return;
    PutBack(warm, &m);
  }
}

void StopWarm(WarmVerifiers* warm) {
  std::vector<WarmMember> idle;
  {
    std::lock_guard<std::mutex> hold(warm->lock);
    warm->stopping = true;
    idle.swap(warm->idle);
  }
  for (WarmMember& m : idle) EndMember(&m);
}

}  // namespace board
