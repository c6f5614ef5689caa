// What the board counts for its operator's Prometheus (GET /metrics): events counted
// where they happen (a request answered, a verification, a clip), and the state of the
// moment (the queues, the held runs, the database pool) read when it is scraped. Every
// label's values are from a small fixed set (the route table's patterns, status codes,
// refusal codes), never a client's text, so a client cannot grow the answer.
#pragma once
#include <cstdint>
#include <string>

namespace board {

// A request answered and written: its route's pattern ("/api/runs/*"; "/play/" for the
// page's files, "unmatched" for a path no route has, "transport" for one refused before
// it was read whole), its method, status, the seconds from its last byte read to its
// answer's last byte written, and the bytes written.
void CountRequest(const char* route, const std::string& method, int status, double seconds,
                  uint64_t bytes);
// Open connections: +1 when one is taken, -1 when it closes.
void CountConnection(int change);
// A connection turned away before anything of it was read: "per_address" or "total".
void CountTurnedAway(const char* why);
// A verification's wait for a verifier, and its time once it had one.
void ObserveVerifyWait(double seconds);
void ObserveVerifyTime(double seconds);
// A verifier's verdict: "accepted", or the refusal's code (desync, invalid, unreadable,
// verifier_failed).
void CountVerdict(const std::string& code);
// A submission answered: its status and code ("stored", "already_stored", or the
// refusal's: held, duplicate, name_taken, ...).
void CountSubmission(int status, const std::string& code);
// A clip made (or dropped), and its time.
void ObserveClip(double seconds, bool made);
// A kept answer given (hit), or built for its reader (miss).
void CountCache(bool hit);

// The state of the moment, read when scraped.
struct MetricsNow {
  int verify_waiting = 0, verify_running = 0, verify_slots = 0;
  int64_t clips_waiting = 0, clips_making = 0;
  bool clips_on = false;
  bool held_known = false;  // false when the database did not answer
  int64_t held = 0;
  int db_in_use = 0, db_size = 0;
  int64_t db_pool_timeouts = 0, db_errors = 0;
  bool database_ok = false;
  int64_t generation = -1;
  int64_t cache_entries = 0, cache_bytes = 0;
};

// Every metric in Prometheus' text format (version 0.0.4).
std::string MetricsText(const MetricsNow& now);

}  // namespace board
