// The key an answer is kept under in memory (response_cache.h), and the request it was
// made from, for the builder that makes it again.
#pragma once
#include <string>

#include "context.h"
#include "http/http_types.h"
#include "routes/route_kit.h"

namespace board {

std::string CacheKey(const Context& ctx, const HttpRequest& req, const Route& route);
bool FromCacheKey(const std::string& key, HttpRequest* req);

}  // namespace board
