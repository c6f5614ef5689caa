#include "verify/follow_child.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>

#include "verify/verifier_child.h"

namespace board {

namespace {
// Rounds played live at once, in all rooms: each is a game process (tens of MB), so a
// board full of rooms cannot start thousands. Past it a racer is told `busy` and can
// still send the round whole at its end.
constexpr int kMostFollows = 64;
std::atomic<int> g_follows{0};
}  // namespace

bool StartFollowChild(const VerifierConfig& config, FollowChild* out) {
  if (g_follows.fetch_add(1) >= kMostFollows) {
    --g_follows;
    return false;
  }
  int in[2], lines[2];
  if (pipe2(in, O_CLOEXEC) != 0) {
    --g_follows;
    return false;
  }
  if (pipe2(lines, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    --g_follows;
    return false;
  }
  static const char* const kArgs[] = {"--verify-follow", nullptr};
  const pid_t pid = StartVerifierChild(config, kArgs, in[0], lines[1], -1);
  close(in[0]);
  close(lines[1]);
  if (pid < 0) {
    close(in[1]);
    close(lines[0]);
    --g_follows;
    return false;
  }
  fcntl(in[1], F_SETFL, O_NONBLOCK);
  fcntl(lines[0], F_SETFL, O_NONBLOCK);
  *out = FollowChild{pid, in[1], lines[0]};
  return true;
}

std::string FollowRecord(char kind, const char* bytes, size_t size) {
  std::string record(1, kind);
  record += ' ' + std::to_string(size) + '\n';
  record.append(bytes, size);
  return record;
}

void StopFollowChild(FollowChild* child) {
  if (child->pid <= 0) return;
  KillVerifierChild(child->pid);  // and reaped
  child->pid = -1;
  --g_follows;
}

}  // namespace board
