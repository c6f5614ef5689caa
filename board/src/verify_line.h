// What `zumble --verify FILE` answers, read strictly: one line, then its exit status.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace board {

struct Verdict {
  enum Kind { kAccepted, kRefused, kFailed } kind = kFailed;
  int flies = 0;
  int speed = 0;
  int64_t time_ms = 0;
  int64_t frames = 0;
  std::string reason;  // for a refusal or a failure: one printable line
  // Further key=value fields after frames= (newer games tell more), in their order.
  std::vector<std::pair<std::string, std::string>> extra;
};

// "ok flies=N speed=S time_ms=T frames=F" with exit 0 is accepted (for a known mode),
// with any further " key=value" fields (key: a-z and _, value: printable, no space) kept;
// exit 1 or 2 with a line is refused with that line as the reason; anything else (a
// crash, a signal, a malformed line) is a failure of the verifier, never accepted.
Verdict ReadVerdict(std::string_view output, int exit_status);

}  // namespace board
