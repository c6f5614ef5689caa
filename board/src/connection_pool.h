// A fixed set of database connections handed to one request at a time.
#pragma once
#include <condition_variable>
#include <mutex>
#include <vector>

namespace board {

template <typename Connection>
struct ConnectionPool {
  std::mutex lock;
  std::condition_variable returned;
  std::vector<Connection*> idle;
  std::vector<Connection*> all;
};

template <typename Connection>
Connection* Take(ConnectionPool<Connection>* pool) {
  std::unique_lock<std::mutex> hold(pool->lock);
  pool->returned.wait(hold, [pool] { return !pool->idle.empty(); });
  Connection* c = pool->idle.back();
  pool->idle.pop_back();
  return c;
}

template <typename Connection>
void Give(ConnectionPool<Connection>* pool, Connection* c) {
  {
    std::lock_guard<std::mutex> hold(pool->lock);
    pool->idle.push_back(c);
  }
  pool->returned.notify_one();
}

// Takes a connection for the life of a scope.
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
