// What the routes share while the server runs: its options, the store, the verifier
// pool, the per-address limits and the answers kept in memory.
#pragma once
#include "rate_limit.h"
#include "response_cache.h"
#include "server.h"
#include "store.h"
#include "verifier.h"

namespace board {

struct Context {
  const ServerOptions* options = nullptr;
  Store* store = nullptr;
  VerifierPool pool;
  RateLimit rate;
  ResponseCache cache;
};

}  // namespace board
