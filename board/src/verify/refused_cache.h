// The replays the verifier refused, by hash: the same bytes sent again get the same
// answer at once instead of another verification. Bounded; the oldest go first.
#pragma once
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

namespace board {

struct RefusedCache {
  std::mutex lock;
  size_t capacity = 20000;
  std::unordered_map<std::string, std::string> reasons;  // hash -> the refusal
  std::deque<std::string> order;
};

bool FindRefused(RefusedCache* cache, const std::string& hash, std::string* reason);
void RememberRefused(RefusedCache* cache, const std::string& hash, const std::string& reason);

}  // namespace board
