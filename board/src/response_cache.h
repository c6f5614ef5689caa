// Answers of the GET routes kept in memory: they change only when a run is stored, so
// each is kept until the board's generation (the stored-change counter) moves. Bounded in
// entries and bytes, since the keys come from the requests.
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

struct ResponseCache {
  std::mutex lock;
  int64_t generation = -1;
  std::unordered_map<std::string, std::shared_ptr<const CachedAnswer>> answers;
  size_t bytes = 0;
  size_t max_entries = 1024;
  size_t max_bytes = 64 << 20;
};

// The answer kept for this key at this generation, or null.
std::shared_ptr<const CachedAnswer> CacheFind(ResponseCache* cache, const std::string& key,
                                              int64_t generation);

// Keeps an answer made at `generation` (unless the cache has moved past it) and returns it
// with its ETag.
std::shared_ptr<const CachedAnswer> CacheKeep(ResponseCache* cache, const std::string& key,
                                              int64_t generation, HttpResponse response);

// The answer to send: 304 when If-None-Match names its ETag, else the whole answer.
void AnswerFromCache(const CachedAnswer& answer, const std::string* if_none_match,
                     HttpResponse* out);

}  // namespace board
