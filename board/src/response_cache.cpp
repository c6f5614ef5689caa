#include "response_cache.h"

#include "sha256.h"

namespace board {

namespace {

size_t SizeOf(const std::string& key, const CachedAnswer* answer) {
  return key.size() + (answer ? answer->response.body.size() : 0);
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
                                              int64_t generation, bool* build) {
  if (build) *build = false;
  std::lock_guard<std::mutex> hold(cache->lock);
  auto it = cache->answers.find(key);
  if (it != cache->answers.end()) {
    CacheEntry& entry = it->second;
    if (entry.answer && (entry.generation >= generation || entry.building)) return entry.answer;
    if (build && !entry.building) {
      entry.building = true;
      *build = true;
    }
    return nullptr;
  }
  if (!build) return nullptr;
  // Not kept yet: this request builds it; others that come meanwhile build their own,
  // having nothing to be given.
  if (cache->answers.size() >= cache->max_entries) {
    cache->answers.clear();  // the keys come from clients: start again
    cache->bytes = 0;
  }
  cache->answers[key].building = true;
  cache->bytes += SizeOf(key, nullptr);
  *build = true;
  return nullptr;
}

std::shared_ptr<const CachedAnswer> CacheKeep(ResponseCache* cache, const std::string& key,
                                              int64_t generation, HttpResponse response) {
  auto answer = std::make_shared<CachedAnswer>();
  answer->etag = "\"" + Sha256Hex(response.body).substr(0, 24) + "\"";
  answer->response = std::move(response);
  std::lock_guard<std::mutex> hold(cache->lock);
  auto it = cache->answers.find(key);
  if (it != cache->answers.end() && it->second.answer && it->second.generation > generation) {
    // A slower request must not put back an answer older than the one kept.
    it->second.building = false;
    return answer;
  }
  size_t size = SizeOf(key, answer.get());
  if (it != cache->answers.end()) {
    cache->bytes -= SizeOf(key, it->second.answer.get());
    cache->answers.erase(it);
  }
  if (size > cache->max_bytes) return answer;
  if (cache->answers.size() >= cache->max_entries || cache->bytes + size > cache->max_bytes) {
    // Full (the keys come from clients): start again; the answers asked for come back.
    cache->answers.clear();
    cache->bytes = 0;
  }
  CacheEntry& kept = cache->answers[key];
  kept.answer = answer;
  kept.generation = generation;
  cache->bytes += size;
  return answer;
}

void CacheGiveUp(ResponseCache* cache, const std::string& key) {
  std::lock_guard<std::mutex> hold(cache->lock);
  auto it = cache->answers.find(key);
  if (it == cache->answers.end()) return;
  it->second.building = false;
  if (!it->second.answer) {
    cache->bytes -= SizeOf(key, nullptr);
    cache->answers.erase(it);
  }
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
