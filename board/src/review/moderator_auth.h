// Whether a request comes from a moderator: the key it carries (trust/moderator_key.h)
// is one of the moderators' in the database.
#pragma once
#include <string>

#include "http/http_types.h"

namespace board {

class Store;

enum class ModeratorCheck { kModerator, kRefused, kDatabase };
// Whether the request carries a moderator's key; their name in *name.
ModeratorCheck CheckModerator(Store* store, const HttpRequest& req, std::string* name);

}  // namespace board
