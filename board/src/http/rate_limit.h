// Submissions per client address: a token bucket each, so a burst is fine and a flood
// gets 429. The table forgets clients whose bucket has filled up again.
#pragma once
#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

namespace board {

struct RateLimit {
  double burst = 10;        // tokens a new client starts with
  double per_second = 0.5;  // refill
  std::mutex lock;
  struct Bucket {
    double tokens;
    std::chrono::steady_clock::time_point last;
  };
  std::unordered_map<std::string, Bucket> clients;
};

// Takes one token for this client; false when it has none left.
bool TakeToken(RateLimit* limit, const std::string& client,
               std::chrono::steady_clock::time_point now);

}  // namespace board
