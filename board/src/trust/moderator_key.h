// Moderators' keys: made like a player's (random, kept only as a hash), told apart by
// their "zm-" start, and read from a request's Authorization header: HTTP Basic (a
// browser asks for it on the review page: any user name, the key as the password) or
// Bearer (a program).
#pragma once
#include <string>

#include "http/http_types.h"

namespace board {

// "zm-" and 43 base64url characters; "" when there is no randomness to be had.
std::string NewModeratorKey();

// The key a request's Authorization header carries ("" none, or a header too long or
// not base64).
std::string RequestKey(const HttpRequest& req);

}  // namespace board
