// What the routes share while the server runs: its options, the store, the verifier
// pool, the per-address limits and the answers kept in memory.
#pragma once
#include <atomic>
#include <cstdint>
#include <vector>

#include "clips/clip_queue.h"
#include "http/board_hosts.h"
#include "http/rate_limit.h"
#include "pages/response_cache.h"
#include "rooms/room_state.h"
#include "server.h"
#include "store/store.h"
#include "verify/refused_cache.h"
#include "verify/verifier.h"

namespace board {

struct RoomRelay;

struct Context {
  const ServerOptions* options = nullptr;
  Store* store = nullptr;
  VerifierPool pool;
  ClipQueue clips;  // each shown run's clip and still, made after it is stored
  RateLimit rate;
  RefusedCache refused;
  ResponseCache cache;
  Rooms rooms;  // the rooms friends race in (rooms/room_state.h)
  // With several servers on one PostgreSQL database: how requests for a room held by
  // another server reach it (http/room_relay.h); null on SQLite.
  RoomRelay* relay = nullptr;
  // The board's generation and whether the database answered, as last seen by the
  // watch (board_watch.h): reads take them from here, not from the database.
  std::atomic<int64_t> generation{-1};
  std::atomic<bool> database_ok{false};
  // Set by SIGTERM: not ready, new posts refused; the posts in hand are counted so that
  // the drain knows when they are all answered (ops/health.h).
  std::atomic<bool> draining{false};
  std::atomic<int> posts_in_hand{0};
  // The origins posts may come from (set once the port is known, before serving).
  std::vector<BoardOrigin> origins;
};

}  // namespace board
