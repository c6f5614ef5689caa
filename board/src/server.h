// The board's HTTP side: the server's options and its serving loop.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "verify/verifier.h"

namespace board {

struct ServerOptions {
  std::string listen = "127.0.0.1";
  int port = 8080;
  std::string db = "board.db";
  std::string site;                 // the game's page, served at /play/ (none when empty)
  size_t max_body = 1 << 20;        // bytes of one submitted replay
  size_t max_header_bytes = 16384;  // a request's line and headers together
  size_t max_headers = 64;
  int request_timeout_ms = 10000;  // from the wait for a request's first byte to its last
  int connections_per_address = 64;
  int max_connections = 0;  // 0: as many as the descriptors allow
  int io_threads = 2;       // threads reading and writing connections
  int threads = 64;         // workers running the routes (a verification holds one)
  int connections = 8;      // database connections
  int verifiers = 1;        // verifications at once
  int queue = 32;           // submissions waiting for a verifier before 503
  double submit_burst = 10;
  double submit_per_second = 0.5;
  double verify_share_seconds = 30;      // verifier time an address may use; refills in 5 min
  bool trust_proxy = false;              // take the client's address from X-Forwarded-For
  std::vector<std::string> public_urls;  // the board's addresses (beside loopback's)
  // Rounds seeded before this (seconds since 1970; 2020-01-01) came from a wrong clock.
  int64_t oldest_seed = 1577836800;
  int64_t max_seed_age_days = 0;  // a season: rounds played in the last N days; 0 any
  bool clips = true;              // make each shown run's clip and still (clip_queue.h)
  int clip_cpu_seconds = 120;     // CPU time one run's clip may take
  int clip_timeout_ms = 0;        // its wall clock; 0: four times its CPU time
  int max_held = 3;               // held runs one address may have waiting at once
  // Who may read /metrics: these address ranges (CIDR, comma lists), else loopback.
  std::vector<std::string> metrics_from;
  bool access_log = false;          // a line per request on stderr
  std::string log_format = "text";  // of the log's lines: text or json
  // A run that would take one of this many places of its board waits for a moderator's
  // approval ("awaiting review"); 0 never.
  int review_top = 1;
  int64_t clip_budget_seconds = 600;  // clip seconds made for one sender a day
  int64_t clip_disk_mb = 0;           // the clips folder's budget; 0 none
  std::string clip_dir;               // where clips are kept ("": beside the database)
  VerifierConfig verifier;
};

// Serves until SIGINT or SIGTERM; returns the process's exit status.
int Serve(const ServerOptions& options);

}  // namespace board
