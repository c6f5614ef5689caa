#include "verify/follow_child.h"

#include <fcntl.h>
#include <unistd.h>

#include "verify/verifier_child.h"

namespace board {

bool StartFollowChild(const VerifierConfig& config, FollowChild* out) {
  int in[2], lines[2];
  if (pipe2(in, O_CLOEXEC) != 0) return false;
  if (pipe2(lines, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return false;
  }
  static const char* const kArgs[] = {"--verify-follow", nullptr};
  const pid_t pid = StartVerifierChild(config, kArgs, in[0], lines[1], -1);
  close(in[0]);
  close(lines[1]);
  if (pid < 0) {
    close(in[1]);
    close(lines[0]);
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
  if (child->pid > 0) KillVerifierChild(child->pid);
  child->pid = -1;
}

}  // namespace board
