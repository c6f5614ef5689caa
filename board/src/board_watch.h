// Keeps the board's generation and the database's health in memory, so that reads need
// no database round trip: a thread reads the stored-change counter every interval, over
// a connection of its own (it never waits behind requests). A run stored by any server
// shows on every server's pages within one interval. Another thread, the builder, makes
// the pages people read again whenever the generation moves (response_cache.h), over the
// store's pooled connections, so that readers are given kept pages, never build them.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "pages/response_cache.h"
#include "store/store.h"

namespace board {

struct BoardWatch {
  // Where the readings go (the server's Context: board_watch knows nothing of routes),
  // and how the builder makes a kept answer again (routes.h, BuildAhead).
  ResponseCache* cache = nullptr;
  std::atomic<int64_t>* generation = nullptr;
  std::atomic<bool>* database_ok = nullptr;
  std::function<void(const std::string& key, int64_t generation)> build;
  std::unique_ptr<Store> store;  // its own connection
  int interval_ms = 250;
  std::mutex lock;
  std::condition_variable wake;
  bool stop = false;
  bool away = false;  // said so in the log
  std::thread thread;
  std::thread builder;
};

// One reading now; false when the database did not answer.
bool WatchOnce(BoardWatch* watch);

// Both threads; StopWatch ends them (the builder after the page it is making).
void StartWatch(BoardWatch* watch);
void StopWatch(BoardWatch* watch);

}  // namespace board
