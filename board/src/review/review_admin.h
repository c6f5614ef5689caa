// The review queue and the moderators from the command line (zumble-board admin review,
// admin moderator), on the database directly as the rest of admin.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace board {

// `words`: "review" [approve ID | reject ID] [REASON...], or "moderator" add|remove|list
// [NAME]. Returns the exit status: 0 done, 1 refused (said why), 2 bad usage or the
// database failed.
int ReviewAdminCommand(const std::string& db, const std::string& url,
                       const std::vector<std::string>& words, const std::string& reason, int limit,
                       int64_t offset, const std::string& actor);

}  // namespace board
