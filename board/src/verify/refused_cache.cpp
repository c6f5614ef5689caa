#include "verify/refused_cache.h"

namespace board {

bool FindRefused(RefusedCache* cache, const std::string& hash, std::string* reason) {
  std::lock_guard<std::mutex> hold(cache->lock);
  auto it = cache->reasons.find(hash);
  if (it == cache->reasons.end()) return false;
  *reason = it->second;
  return true;
}

void RememberRefused(RefusedCache* cache, const std::string& hash, const std::string& reason) {
  std::lock_guard<std::mutex> hold(cache->lock);
  if (!cache->reasons.emplace(hash, reason).second) return;
  cache->order.push_back(hash);
  while (cache->order.size() > cache->capacity) {
    cache->reasons.erase(cache->order.front());
    cache->order.pop_front();
  }
}

}  // namespace board
