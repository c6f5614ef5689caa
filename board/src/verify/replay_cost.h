// What a replay's header promises, read in the server before the replay is queued, so
// that a file no real round needs never costs a verifier anything. The verifier checks
// everything again; this only refuses early what it would refuse after playing. The
// header's layout and the bounds are the replay library's (replay/core/replay_bounds.h).
#pragma once
#include <string>
#include <string_view>

namespace board {

// Empty when the replay may go to the verifier; else the reason to refuse it at once.
// Files that are not replays of this format go to the verifier, which says what is wrong.
std::string RefuseBeforeVerifying(std::string_view replay);

}  // namespace board
