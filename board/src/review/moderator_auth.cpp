#include "review/moderator_auth.h"

#include "store/store.h"
#include "trust/keys.h"
#include "trust/moderator_key.h"

namespace board {

ModeratorCheck CheckModerator(Store* store, const HttpRequest& req, std::string* name) {
  std::string key = RequestKey(req);
  // Players' keys start "zk-": never a moderator's, whatever the table holds.
  if (key.rfind("zm-", 0) != 0) return ModeratorCheck::kRefused;
  bool found = false;
  if (!store->ModeratorOfKey(KeyHash(key), name, &found)) return ModeratorCheck::kDatabase;
  return found ? ModeratorCheck::kModerator : ModeratorCheck::kRefused;
}

}  // namespace board
