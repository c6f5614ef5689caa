#include "pages/response_cache.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "pages/compress.h"
#include "trust/digest.h"

namespace board {

namespace {

size_t SizeOf(const std::string& key, const CachedAnswer* answer) {
  return key.size() + (answer ? answer->response.body.size() + answer->gzip.size() : 0);
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

using Entries = std::unordered_map<std::string, CacheEntry>;

// The answer is no longer kept. Its key may still be on the builder's queue, whose build
// then keeps it again.
void Forget(ResponseCache* cache, Entries::iterator it) {
  (it->second.read_again ? cache->again : cache->once).erase(it->second.place);
  cache->bytes -= SizeOf(it->first, it->second.answer.get());
  cache->answers.erase(it);
}

// A new key, at the front of the answers read once.
CacheEntry& Add(ResponseCache* cache, const std::string& key) {
  CacheEntry& entry = cache->answers[key];
  cache->once.push_front(key);
  entry.place = cache->once.begin();
  return entry;
}

// Read again: to the front of the answers read again, the least recently read of those
// going back to the answers read once beyond their share.
void Touch(ResponseCache* cache, CacheEntry* entry) {
  if (entry->read_again) {
    cache->again.splice(cache->again.begin(), cache->again, entry->place);
    return;
  }
  cache->again.splice(cache->again.begin(), cache->once, entry->place);
  entry->read_again = true;
  size_t share = cache->max_entries - cache->max_entries / 4;
  if (cache->again.size() > share && cache->again.size() > 1) {
    CacheEntry& back = cache->answers[cache->again.back()];
    cache->once.splice(cache->once.begin(), cache->again, back.place);
    back.read_again = false;
  }
}

// Room for one more answer of `size` bytes: the least recently read answers let go, one
// at a time, those read once first. Never `keep`, the key that needs the room.
void MakeRoom(ResponseCache* cache, const std::string& keep, size_t size) {
  bool let_go = false;
  for (;;) {
    bool present = cache->answers.count(keep) > 0;
    if (cache->answers.size() - present < cache->max_entries &&
        cache->bytes + size <= cache->max_bytes)
      break;
    std::list<std::string>* from = &cache->once;
    if (from->empty() || (from->size() == 1 && from->back() == keep)) from = &cache->again;
    if (from->empty() || (from->size() == 1 && from->back() == keep)) break;
    const std::string& victim = from->back() == keep ? *std::prev(from->end(), 2) : from->back();
    Forget(cache, cache->answers.find(victim));
    let_go = true;
  }
  // A reader waiting for a first build that was let go builds its own.
  if (let_go) cache->changed.notify_all();
}

}  // namespace

std::shared_ptr<const CachedAnswer> CacheFind(ResponseCache* cache, const std::string& key,
                                              int64_t generation, bool* build) {
  if (build) *build = false;
  std::unique_lock<std::mutex> hold(cache->lock);
  auto it = cache->answers.find(key);
  if (it != cache->answers.end() && build && !it->second.answer && it->second.building) {
    // Its first build is under way, with nothing to give meanwhile: wait for it rather
    // than run the same statements beside it (200 readers arriving at once on a fresh
    // server), for a while; then build this one too.
    cache->changed.wait_for(hold, std::chrono::milliseconds(cache->first_wait_ms), [&] {
      it = cache->answers.find(key);
      return it == cache->answers.end() || it->second.answer || !it->second.building;
    });
    it = cache->answers.find(key);
  }
  if (it != cache->answers.end()) {
    CacheEntry& entry = it->second;
    if (entry.answer && (entry.generation >= generation || entry.building)) {
      if (entry.reads < UINT32_MAX) ++entry.reads;
      Touch(cache, &entry);
      return entry.answer;
    }
    if (build && !entry.building) {
      entry.building = true;
      *build = true;
    }
    return nullptr;
  }
  if (!build) return nullptr;
  // Not kept yet: this request builds it.
  MakeRoom(cache, key, SizeOf(key, nullptr));
  Add(cache, key).building = true;
  cache->bytes += SizeOf(key, nullptr);
  *build = true;
  return nullptr;
}

std::shared_ptr<const CachedAnswer> CacheKeep(ResponseCache* cache, const std::string& key,
                                              int64_t generation, HttpResponse response) {
  auto answer = std::make_shared<CachedAnswer>();
  answer->etag = "\"" + Sha256Hex(response.body).substr(0, 24) + "\"";
  answer->response = std::move(response);
  // Compressed once here, outside the lock, for every reader that takes gzip after.
  HttpResponse& kept = answer->response;
  if (Compressible(kept)) {
    kept.AddHeader("Vary", "Accept-Encoding");
    if (kept.body.size() >= kGzipFrom && Gzip(kept.body, kGzipKept, &answer->gzip) &&
        answer->gzip.size() < kept.body.size()) {
      answer->gzip_etag = answer->etag;
      answer->gzip_etag.insert(answer->gzip_etag.size() - 1, "-gz");
    } else {
      answer->gzip.clear();
    }
  }
  if (kept.status == 200) {
    HttpResponse whole = kept;
    whole.AddHeader("ETag", answer->etag);
    answer->head = ResponseHead(whole);
    if (!answer->gzip.empty()) {
      HttpResponse packed;  // the head only needs the gzip body's length
      packed.Set(kept.status, kept.content_type, answer->gzip);
      packed.headers = kept.headers;
      packed.AddHeader("Content-Encoding", "gzip");
      packed.AddHeader("ETag", answer->gzip_etag);
      answer->gzip_head = ResponseHead(packed);
    }
  }
  std::unique_lock<std::mutex> hold(cache->lock);
  auto it = cache->answers.find(key);
  if (it != cache->answers.end() && it->second.answer && it->second.generation > generation) {
    // A slower request must not put back an answer older than the one kept.
    it->second.building = false;
    it->second.ahead = false;
    hold.unlock();
    cache->changed.notify_all();
    return answer;
  }
  size_t size = SizeOf(key, answer.get());
  bool present = it != cache->answers.end();
  bool again = false;
  if (present) {
    again = it->second.ahead && it->second.reads > 0 && cache->latest > generation;
    if (size > cache->max_bytes) {
      Forget(cache, it);
      present = false;
    } else {
      cache->bytes -= SizeOf(key, it->second.answer.get());
      it->second.answer = nullptr;
    }
  }
  if (size <= cache->max_bytes) {
    MakeRoom(cache, key, size);
    CacheEntry& kept = present ? cache->answers[key] : Add(cache, key);
    kept.answer = answer;
    kept.generation = generation;
    kept.reads = 0;
    // Read while the board moved on again: the builder makes it once more, and readers
    // keep being given this one.
    kept.building = kept.ahead = again;
    if (again) cache->queue.push_back(key);
    cache->bytes += size;
  }
  hold.unlock();
  cache->changed.notify_all();
  return answer;
}

void CacheGiveUp(ResponseCache* cache, const std::string& key) {
  {
    std::lock_guard<std::mutex> hold(cache->lock);
    auto it = cache->answers.find(key);
    if (it != cache->answers.end()) {
      it->second.building = false;
      it->second.ahead = false;
      if (!it->second.answer) Forget(cache, it);
    }
  }
  cache->changed.notify_all();
}

void CacheAnnounce(ResponseCache* cache, int64_t generation) {
  {
    std::lock_guard<std::mutex> hold(cache->lock);
    if (generation <= cache->latest) return;
    cache->latest = generation;
    // The most read first: keys made up by a client, read twice, never push out the
    // pages everybody reads.
    std::vector<std::pair<uint32_t, const std::string*>> read;
    for (auto& [key, entry] : cache->answers)
      if (entry.answer && entry.reads > 0 && !entry.building && entry.generation < generation)
        read.emplace_back(entry.reads, &key);
    size_t room =
        cache->max_ahead > cache->queue.size() ? cache->max_ahead - cache->queue.size() : 0;
    if (read.size() > room) {
      std::partial_sort(read.begin(), read.begin() + room, read.end(),
                        [](const auto& a, const auto& b) { return a.first > b.first; });
      read.resize(room);
    }
    for (const auto& [reads, key] : read) {
      CacheEntry& entry = cache->answers[*key];
      entry.building = entry.ahead = true;
      cache->queue.push_back(*key);
    }
    if (read.empty()) return;
  }
  cache->changed.notify_all();
}

bool CacheNextBuild(ResponseCache* cache, std::string* key, int64_t* generation) {
  std::unique_lock<std::mutex> hold(cache->lock);
  cache->changed.wait(hold, [cache] { return cache->stopping || !cache->queue.empty(); });
  if (cache->stopping) return false;
  *key = std::move(cache->queue.front());
  cache->queue.pop_front();
  *generation = cache->latest;
  return true;
}

bool CacheWaitBuilt(ResponseCache* cache, int64_t generation, int timeout_ms) {
  std::unique_lock<std::mutex> hold(cache->lock);
  return cache->changed.wait_for(hold, std::chrono::milliseconds(timeout_ms), [&] {
    if (cache->stopping) return true;
    for (const auto& [key, entry] : cache->answers)
      if (entry.ahead && entry.generation < generation) return false;
    return true;
  });
}

void CacheStop(ResponseCache* cache) {
  {
    std::lock_guard<std::mutex> hold(cache->lock);
    cache->stopping = true;
  }
  cache->changed.notify_all();
}

bool SentWhole(const CachedAnswer& answer, const std::string* if_none_match, bool gzip) {
  const std::string& etag = GzipKept(answer, gzip) ? answer.gzip_etag : answer.etag;
  return !answer.head.empty() && !(if_none_match && Matches(*if_none_match, etag));
}

void AnswerFromCache(const CachedAnswer& answer, const std::string* if_none_match, bool gzip,
                     HttpResponse* out) {
  const bool packed = GzipKept(answer, gzip);
  const std::string& etag = packed ? answer.gzip_etag : answer.etag;
  if (if_none_match && answer.response.status == 200 && Matches(*if_none_match, etag)) {
    out->status = 304;
    out->content_type.clear();
    out->body.clear();
    out->headers.clear();
    for (const auto& h : answer.response.headers)
      if (h.first == "Cache-Control" || h.first == "Vary") out->headers.push_back(h);
  } else {
    *out = answer.response;
    if (packed) {
      out->body = answer.gzip;
      out->AddHeader("Content-Encoding", "gzip");
    }
  }
  out->AddHeader("ETag", etag);
}

}  // namespace board
