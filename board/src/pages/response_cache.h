// Answers of the GET routes kept in memory: they change only when a run is stored, so
// each is kept with the board's generation (the stored-change counter) it was made at.
// When the board moves on, the answers readers asked for since they were made are built
// again ahead of them, by one builder, while the readers are given the ones kept; an
// answer nobody had asked for again is built by the next reader that wants it, the others
// meanwhile given the last one. So a run stored every few milliseconds never has readers
// building the same page at once, and the pages people read cost them no database round
// trip at all. Bounded in entries and bytes, since the keys come from the requests: when
// full, one answer is let go for each new one, the least recently read of those read
// once before those read again, so a client asking for page after page nobody else reads
// (a new query string each time) only ever pushes out its own.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "http/http_types.h"

namespace board {

struct CachedAnswer {
  HttpResponse response;
  std::string etag;  // "\"...\"", of the body
  // For a 200: its status line and header lines as they go out (the ETag and the
  // transport's own among them, without the blank line that ends them), so that a
  // reader is sent the kept bytes as they are.
  std::string head;
  // The same in gzip, for readers that take it, when it pays (pages/compress.h): made
  // once when the answer is kept, with an ETag of its own; "" when it is not kept so.
  std::string gzip;
  std::string gzip_etag;
  std::string gzip_head;
};

struct CacheEntry {
  std::shared_ptr<const CachedAnswer> answer;  // null until the first is built
  int64_t generation = -1;                     // the board's, when it was made
  bool building = false;                       // a newer one is being made
  bool ahead = false;                          // by the builder, not a reader
  uint32_t reads = 0;                          // readers given it since it was made
  // Where it stands in the order answers are let go: in `once` until it is read again,
  // then in `again`.
  bool read_again = false;
  std::list<std::string>::iterator place;
};

struct ResponseCache {
  std::mutex lock;
  std::unordered_map<std::string, CacheEntry> answers;
  size_t bytes = 0;
  size_t max_entries = 1024;
  size_t max_bytes = 64 << 20;
  // The keys, the most recently read first: answers read once (or never yet) and
  // answers read again; those read again take at most three quarters of max_entries,
  // the least recently read going back to `once` beyond that.
  std::list<std::string> once;
  std::list<std::string> again;
  // Building ahead: the newest generation announced, the keys waiting for the builder
  // (the most read first, at most max_ahead a generation), and its wake-ups.
  int64_t latest = -1;
  std::deque<std::string> queue;
  size_t max_ahead = 64;
  int first_wait_ms = 1000;  // a reader's wait for another's first build of a page
  bool stopping = false;
  std::condition_variable changed;  // a key queued, a build done, or stopping
};

// The answer for this key made at `generation` or later; or, while a newer one is being
// built, the last answer kept; else null. With `build`, a request that gets null and
// finds nobody building is told to build it (*build = true), and must then call CacheKeep
// or CacheGiveUp; one that finds the first answer being built waits for it (up to
// first_wait_ms), and gets null, to build its own, only if it does not come.
std::shared_ptr<const CachedAnswer> CacheFind(ResponseCache* cache, const std::string& key,
                                              int64_t generation, bool* build = nullptr);

// Keeps an answer made at `generation` (unless a newer one is kept already) and returns it
// with its ETag. A key built ahead that readers went on asking for while the board moved
// past `generation` goes back on the builder's queue.
std::shared_ptr<const CachedAnswer> CacheKeep(ResponseCache* cache, const std::string& key,
                                              int64_t generation, HttpResponse response);

// A build that failed: the next request builds again.
void CacheGiveUp(ResponseCache* cache, const std::string& key);

// The board has moved on to `generation`: the kept answers read since they were made are
// queued for the builder, and readers are given the kept ones until they are built. Call
// it before readers can see the new generation.
void CacheAnnounce(ResponseCache* cache, int64_t generation);

// The builder's next key (waiting for one) and the generation to build it at (the
// database has reached it already); false once the cache is stopping.
bool CacheNextBuild(ResponseCache* cache, std::string* key, int64_t* generation);

// Waits, up to `timeout_ms`, until nothing the builder was given is older than
// `generation`: a submitter reads its own run on the pages it comes back to. False when
// the time ran out.
bool CacheWaitBuilt(ResponseCache* cache, int64_t generation, int timeout_ms);

// Wakes the builder and every waiter to end.
void CacheStop(ResponseCache* cache);

// The answer to send, in gzip when the reader takes it and it is kept so: 304 when
// If-None-Match names that form's ETag, else the whole answer.
void AnswerFromCache(const CachedAnswer& answer, const std::string* if_none_match, bool gzip,
                     HttpResponse* out);

// Whether the whole kept answer goes out as it is (a 200 with its head, not matched by
// If-None-Match), in the form `gzip` chooses.
bool SentWhole(const CachedAnswer& answer, const std::string* if_none_match, bool gzip);

// The kept bytes for a reader: gzip's when it takes them and they are kept, else the
// answer's own (head and body).
inline bool GzipKept(const CachedAnswer& answer, bool gzip) { return gzip && !answer.gzip.empty(); }

}  // namespace board
