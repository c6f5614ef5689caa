// A fixed set of database connections handed to one request at a time. A request waits
// for one a bounded time; past it, it gets none (null), and the store's statements on a
// null connection fail at once, so a stalled database never holds requests in a queue.
#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "store/error_text.h"
#include "store/store.h"

namespace board {

constexpr auto kPoolWait = std::chrono::milliseconds(1500);

template <typename Connection>
struct ConnectionPool {
  std::mutex lock;
  std::condition_variable returned;
  std::vector<Connection*> idle;
  std::vector<Connection*> all;
  int64_t timeouts = 0;  // waits that ran out
};

template <typename Connection>
Connection* Take(ConnectionPool<Connection>* pool) {
  std::unique_lock<std::mutex> hold(pool->lock);
  if (!pool->returned.wait_for(hold, kPoolWait, [pool] { return !pool->idle.empty(); })) {
    ++pool->timeouts;
    return nullptr;
  }
  Connection* c = pool->idle.back();
  pool->idle.pop_back();
  return c;
}

template <typename Connection>
void Give(ConnectionPool<Connection>* pool, Connection* c) {
  if (!c) return;
  {
    std::lock_guard<std::mutex> hold(pool->lock);
    pool->idle.push_back(c);
  }
  pool->returned.notify_one();
}

// How much of the pool is in use, for the board's metrics.
template <typename Connection>
void ReadPool(ConnectionPool<Connection>* pool, int* in_use, int* size, int64_t* timeouts) {
  std::lock_guard<std::mutex> hold(pool->lock);
  *size = static_cast<int>(pool->all.size());
  *in_use = static_cast<int>(pool->all.size() - pool->idle.size());
  *timeouts = pool->timeouts;
}

// The pool's use and the errors a store met, as both stores report them.
template <typename Connection>
StoreUsage PoolUsage(ConnectionPool<Connection>* pool, const ErrorText& errors) {
  StoreUsage usage;
  ReadPool(pool, &usage.in_use, &usage.size, &usage.timeouts);
  usage.errors = errors.Count();
  return usage;
}

// Takes a connection for the life of a scope (c is null when none came free in time).
template <typename Connection>
struct Borrowed {
  ConnectionPool<Connection>* pool;
  Connection* c;
  explicit Borrowed(ConnectionPool<Connection>* p) : pool(p), c(Take(p)) {}
  ~Borrowed() { Give(pool, c); }
  Borrowed(const Borrowed&) = delete;
  Borrowed& operator=(const Borrowed&) = delete;
};

}  // namespace board
