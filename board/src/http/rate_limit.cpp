#include "http/rate_limit.h"

#include <algorithm>

namespace board {

namespace {

double Refilled(const RateLimit& limit, const RateLimit::Bucket& b,
                std::chrono::steady_clock::time_point now) {
  double seconds = std::chrono::duration<double>(now - b.last).count();
  return std::min(limit.burst, b.tokens + seconds * limit.per_second);
}

}  // namespace

bool TakeToken(RateLimit* limit, const std::string& client,
               std::chrono::steady_clock::time_point now) {
  std::lock_guard<std::mutex> hold(limit->lock);
  if (limit->clients.size() > 10000) {
    for (auto it = limit->clients.begin(); it != limit->clients.end();) {
      if (Refilled(*limit, it->second, now) >= limit->burst)
        it = limit->clients.erase(it);
      else
        ++it;
    }
  }
  auto [it, added] = limit->clients.try_emplace(client, RateLimit::Bucket{limit->burst, now});
  RateLimit::Bucket& b = it->second;
  if (!added) {
    b.tokens = Refilled(*limit, b, now);
    b.last = now;
  }
  if (b.tokens < 1) return false;
  b.tokens -= 1;
  return true;
}

}  // namespace board
