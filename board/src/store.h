// Where the runs live: SQLite (one file) or PostgreSQL (shared by several servers).
// Each opens its own connections, creates and migrates its schema, and stores a run and
// its replay in one transaction, so a run is either whole or absent.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace board {

struct Run {
  int64_t id = 0;
  std::string name;
  int flies = 0;
  int speed = 0;
  int64_t time_ms = 0;
  int64_t frames = 0;
  int64_t created = 0;  // seconds since 1970, UTC
};

struct NewRun {
  std::string name;
  std::string hash;     // SHA-256 of the replay, hex
  std::string replay;   // its bytes
  int flies = 0;
  int speed = 0;
  int64_t time_ms = 0;
  int64_t frames = 0;
  int64_t created = 0;
};

// The run a store answers with once it has stored `run` under `id`.
inline Run StoredRun(const NewRun& run, int64_t id) {
  return Run{id, run.name, run.flies, run.speed, run.time_ms, run.frames, run.created};
}

class Store {
 public:
  virtual ~Store() = default;
  // A number that changes whenever a run is stored (by this server or another).
  virtual bool Generation(int64_t* out) = 0;
  // The run already stored for this replay, if any.
  virtual bool FindByHash(const std::string& hash, Run* out, bool* found) = 0;
  // Stores the run and its replay; *existed when the same replay was stored meanwhile
  // (then *out is that run).
  virtual bool Insert(const NewRun& run, Run* out, bool* existed) = 0;
  // 1 + the runs of its mode that are faster (or as fast and older).
  virtual bool Rank(const Run& run, int64_t* rank) = 0;
  // The best `limit` runs of a mode, fastest first (older first among equals).
  virtual bool Best(int flies, int speed, int limit, std::vector<Run>* out) = 0;
  virtual bool Replay(int64_t id, std::string* bytes, bool* found) = 0;
  virtual int SchemaVersion() = 0;
  virtual std::string LastError() = 0;
};

// "postgresql://..." or "postgres://..." opens PostgreSQL, anything else is a SQLite
// file. On failure returns null and says why in *error.
std::unique_ptr<Store> OpenStore(const std::string& where, int connections, std::string* error);

std::unique_ptr<Store> OpenSqlite(const std::string& path, int connections, std::string* error);
std::unique_ptr<Store> OpenPostgres(const std::string& url, int connections, std::string* error);

}  // namespace board
