#include "board_watch.h"

#include <chrono>
#include <cstdio>

namespace board {

bool WatchOnce(BoardWatch* watch) {
  int64_t generation = 0;
  bool ok = watch->store->Generation(&generation);
  if (ok) {
    CacheAnnounce(watch->cache, generation);
    watch->generation->store(generation);
  }
  watch->database_ok->store(ok);
  if (!ok && !watch->away)
    fprintf(stderr, "zumble-board: database away: %s\n", watch->store->LastError().c_str());
  else if (ok && watch->away)
    fprintf(stderr, "zumble-board: database answering again\n");
  watch->away = !ok;
  return ok;
}

void StartWatch(BoardWatch* watch) {
  watch->builder = std::thread([watch] {
    std::string key;
    int64_t generation = 0;
    while (CacheNextBuild(watch->cache, &key, &generation)) watch->build(key, generation);
  });
  watch->thread = std::thread([watch] {
    std::unique_lock<std::mutex> hold(watch->lock);
    while (!watch->stop) {
      hold.unlock();
      WatchOnce(watch);
      hold.lock();
      watch->wake.wait_for(hold, std::chrono::milliseconds(watch->interval_ms),
                           [watch] { return watch->stop; });
    }
  });
}

void StopWatch(BoardWatch* watch) {
  {
    std::lock_guard<std::mutex> hold(watch->lock);
    watch->stop = true;
  }
  watch->wake.notify_all();
  if (watch->thread.joinable()) watch->thread.join();
  CacheStop(watch->cache);
  if (watch->builder.joinable()) watch->builder.join();
}

}  // namespace board
