// Answers of the GET routes kept in memory: they change only when a run is stored, so
// each is kept with the board's generation (the stored-change counter) it was made at.
// When the board moves on, one request builds the answer again while the others are given
// the one kept, so that a run stored every few milliseconds never has every reader
// building the same page at once. Bounded in entries and bytes, since the keys come from
// the requests.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "http_types.h"

namespace board {

struct CachedAnswer {
  HttpResponse response;
  std::string etag;       // "\"...\"", of the body
};

struct CacheEntry {
  std::shared_ptr<const CachedAnswer> answer;  // null until the first is built
  int64_t generation = -1;                     // the board's, when it was made
  bool building = false;                       // a request is making a newer one
};

struct ResponseCache {
  std::mutex lock;
  std::unordered_map<std::string, CacheEntry> answers;
  size_t bytes = 0;
  size_t max_entries = 1024;
  size_t max_bytes = 64 << 20;
};

// The answer for this key made at `generation` or later; or, while another request builds
// that one, the last answer kept; else null. With `build`, a request that gets null and
// finds nobody building is told to build it (*build = true), and must then call CacheKeep
// or CacheGiveUp.
std::shared_ptr<const CachedAnswer> CacheFind(ResponseCache* cache, const std::string& key,
                                              int64_t generation, bool* build = nullptr);

// Keeps an answer made at `generation` (unless a newer one is kept already) and returns it
// with its ETag.
std::shared_ptr<const CachedAnswer> CacheKeep(ResponseCache* cache, const std::string& key,
                                              int64_t generation, HttpResponse response);

// A build that failed: the next request builds again.
void CacheGiveUp(ResponseCache* cache, const std::string& key);

// The answer to send: 304 when If-None-Match names its ETag, else the whole answer.
void AnswerFromCache(const CachedAnswer& answer, const std::string* if_none_match,
                     HttpResponse* out);

}  // namespace board
