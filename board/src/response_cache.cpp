#include "response_cache.h"

#include "sha256.h"

namespace board {

namespace {

// Empties the cache when the board has moved on; the caller holds the lock.
void Advance(ResponseCache* cache, int64_t generation) {
  if (generation == cache->generation) return;
  cache->answers.clear();
  cache->bytes = 0;
  cache->generation = generation;
}

// Whether an If-None-Match list names this ETag (or is *).
bool Matches(const std::string& list, const std::string& etag) {
  if (list == "*") return true;
  size_t at = 0;
  while (at < list.size()) {
    size_t comma = list.find(',', at);
    if (comma == std::string::npos) comma = list.size();
    size_t b = at, e = comma;
    while (b < e && list[b] == ' ') ++b;
    while (e > b && list[e - 1] == ' ') --e;
    std::string tag = list.substr(b, e - b);
    if (tag.rfind("W/", 0) == 0) tag.erase(0, 2);
    if (tag == etag) return true;
    at = comma + 1;
  }
  return false;
}

}  // namespace

std::shared_ptr<const CachedAnswer> CacheFind(ResponseCache* cache, const std::string& key,
                                              int64_t generation) {
  std::lock_guard<std::mutex> hold(cache->lock);
  Advance(cache, generation);
  auto it = cache->answers.find(key);
  return it == cache->answers.end() ? nullptr : it->second;
}

std::shared_ptr<const CachedAnswer> CacheKeep(ResponseCache* cache, const std::string& key,
                                              int64_t generation, HttpResponse response) {
  auto answer = std::make_shared<CachedAnswer>();
  answer->etag = "\"" + Sha256Hex(response.body).substr(0, 24) + "\"";
  answer->response = std::move(response);
  size_t size = key.size() + answer->response.body.size();
  std::lock_guard<std::mutex> hold(cache->lock);
  // A slower request must not put back an answer older than the board the cache holds.
  if (generation < cache->generation || size > cache->max_bytes) return answer;
  Advance(cache, generation);
  if (cache->answers.size() >= cache->max_entries || cache->bytes + size > cache->max_bytes) {
    // Full (the keys come from clients): start again; the answers asked for come back.
    cache->answers.clear();
    cache->bytes = 0;
  }
  auto [it, added] = cache->answers.emplace(key, answer);
  if (added) cache->bytes += size;
  return it->second;
}

void AnswerFromCache(const CachedAnswer& answer, const std::string* if_none_match,
                     HttpResponse* out) {
  if (if_none_match && answer.response.status == 200 && Matches(*if_none_match, answer.etag)) {
    out->status = 304;
    out->content_type.clear();
    out->body.clear();
    out->headers.clear();
    for (const auto& h : answer.response.headers)
      if (h.first == "Cache-Control") out->headers.push_back(h);
  } else {
    *out = answer.response;
  }
  out->AddHeader("ETag", answer.etag);
}

}  // namespace board
