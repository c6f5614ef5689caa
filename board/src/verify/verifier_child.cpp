#include "verify/verifier_child.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace board {

namespace {

constexpr int kReplayFd = 3;

void SetLimit(int resource, rlim_t value) {
  rlimit limit{value, value};
  setrlimit(resource, &limit);
}

// In the child between fork and exec: only async-signal-safe calls. An exec that fails
// sends its errno through report_fd (closed on a successful exec).
[[noreturn]] void ExecChild(const VerifierConfig& config, const char* const* argv, pid_t parent,
                            int in_fd, int out_fd, int replay_fd, int report_fd,
                            rlim_t file_bytes) {
  // Dies with the server, even when the server is killed outright.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);
  setpgid(0, 0);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  signal(SIGPIPE, SIG_DFL);
  // Every descriptor moves above the ones set up below first, so that none is overwritten
  // before it is copied; the report pipe ends just above the replay's place, still
  // close-on-exec.
  int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (in_fd < 0) in_fd = null_fd;
  if (replay_fd < 0) replay_fd = null_fd;
  int high[5] = {fcntl(null_fd, F_DUPFD_CLOEXEC, 10), fcntl(in_fd, F_DUPFD_CLOEXEC, 10),
                 fcntl(out_fd, F_DUPFD_CLOEXEC, 10), fcntl(replay_fd, F_DUPFD_CLOEXEC, 10),
                 fcntl(report_fd, F_DUPFD_CLOEXEC, 10)};
  for (int fd : high)
    if (null_fd < 0 || fd < 0) _exit(127);
  if (dup2(high[1], 0) < 0 || dup2(high[2], 1) < 0 || dup2(high[0], 2) < 0 ||
      dup2(high[3], kReplayFd) < 0 || dup3(high[4], kReplayFd + 1, O_CLOEXEC) < 0)
    _exit(127);
  closefrom(kReplayFd + 2);
  const int report = kReplayFd + 1;
  SetLimit(RLIMIT_CPU, static_cast<rlim_t>(config.cpu_seconds));
  SetLimit(RLIMIT_AS, static_cast<rlim_t>(config.memory_mb) << 20);
  SetLimit(RLIMIT_FSIZE, file_bytes);
  SetLimit(RLIMIT_CORE, 0);
  // Verifying is batch work: reads of the boards come first when the cores are busy.
  setpriority(PRIO_PROCESS, 0, config.nice);
  sched_param batch{};
  sched_setscheduler(0, SCHED_BATCH, &batch);
  execv(argv[0], const_cast<char* const*>(argv));
  int error = errno;
  ssize_t ignored = write(report, &error, sizeof error);
  (void)ignored;
  _exit(127);
}

}  // namespace

pid_t StartVerifierChild(const VerifierConfig& config, const char* const* args, int in, int out,
                         int replay, rlim_t file_bytes) {
  // The program, at most kMostArgs of `args` (a clip's eight), and the closing null.
  constexpr int kMostArgs = 10;
  const char* argv[kMostArgs + 2] = {config.zumble.c_str()};
  for (int i = 0; args[i] && i < kMostArgs; ++i) argv[i + 1] = args[i];
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    fprintf(stderr, "zumble-board: cannot start the verifier: %s\n", strerror(errno));
    return -1;
  }
  pid_t parent = getpid();
  pid_t child = fork();
  if (child == 0) ExecChild(config, argv, parent, in, out, replay, report[1], file_bytes);
  int fork_error = errno;
  close(report[1]);
  if (child < 0) {
    close(report[0]);
    fprintf(stderr, "zumble-board: cannot start the verifier: %s\n", strerror(fork_error));
    return -1;
  }
  setpgid(child, child);  // either side may win the race; both set the same group

  // An exec that failed says why before the child exits; a good one closes the pipe.
  int exec_error = 0;
  ssize_t got;
  while ((got = read(report[0], &exec_error, sizeof exec_error)) < 0 && errno == EINTR) {}
  close(report[0]);
  if (got == static_cast<ssize_t>(sizeof exec_error)) {
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {}
    fprintf(stderr, "zumble-board: cannot run the verifier %s: %s\n", config.zumble.c_str(),
            strerror(exec_error));
    return -1;
  }
  return child;
}

Verdict SignalVerdict(int signal_number) {
  // Out of CPU time (SIGXCPU) or memory (a crash) is the replay's doing as far as the
  // board can tell; refuse it rather than call it the server's fault.
  Verdict v;
  v.kind = Verdict::kRefused;
  v.reason = signal_number == SIGXCPU || signal_number == SIGKILL
                 ? "invalid: verification took too long"
                 : "invalid: the replay stopped the verifier";
  return v;
}

void KillVerifierChild(pid_t child) {
  kill(-child, SIGKILL);
  kill(child, SIGKILL);
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {}
}

}  // namespace board
