// PostgreSQL, for several servers sharing one board: every write is one transaction,
// the schema is migrated under an advisory lock so that servers starting together take
// turns, a dropped connection is re-opened on its next use, and no statement waits
// longer than its deadline (pg_connection.h).
#include <libpq-fe.h>

#include <cstdlib>
#include <utility>

#include "connection_pool.h"
#include "error_text.h"
#include "pg_connection.h"
#include "store.h"
#include "store_schema.h"

namespace board {

namespace {

const char* const kMigrations[] = {
    // 1: runs, their replays (stored once, by hash) and the board's change counter.
    "CREATE TABLE replays (hash TEXT PRIMARY KEY, bytes BYTEA NOT NULL);"
    "CREATE TABLE runs (id BIGSERIAL PRIMARY KEY,"
    " hash TEXT NOT NULL UNIQUE REFERENCES replays(hash), name TEXT NOT NULL,"
    " flies INTEGER NOT NULL, speed INTEGER NOT NULL, time_ms BIGINT NOT NULL,"
    " frames BIGINT NOT NULL, created BIGINT NOT NULL);"
    "CREATE INDEX runs_by_mode_time ON runs (flies, speed, time_ms, id);"
    "CREATE TABLE board_state (generation BIGINT NOT NULL);"
    "INSERT INTO board_state VALUES (0);",
};
constexpr int kLatest = sizeof kMigrations / sizeof kMigrations[0];
constexpr const char* kMigrationLock = "SELECT pg_advisory_xact_lock(2323001)";

struct Result {
  PGresult* r;
  explicit Result(PGresult* result) : r(result) {}
  ~Result() { PQclear(r); }
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  bool Rows() const { return PQresultStatus(r) == PGRES_TUPLES_OK; }
  bool Done() const { return PQresultStatus(r) == PGRES_COMMAND_OK; }
  long long Int(int row, int col) const { return std::atoll(PQgetvalue(r, row, col)); }
};

const char kRunColumns[] = "SELECT id, name, flies, speed, time_ms, frames, created FROM runs ";

Run ReadRun(const Result& res, int row) {
  Run r;
  r.id = res.Int(row, 0);
  r.name = PQgetvalue(res.r, row, 1);
  r.flies = static_cast<int>(res.Int(row, 2));
  r.speed = static_cast<int>(res.Int(row, 3));
  r.time_ms = res.Int(row, 4);
  r.frames = res.Int(row, 5);
  r.created = res.Int(row, 6);
  return r;
}

// Text parameters: the numbers and names as strings, the replay as binary.
PGresult* Query(PGconn* c, const char* sql, std::initializer_list<std::string> params,
                int result_format = 0) {
  const char* values[8];
  int n = 0;
  for (const std::string& p : params) values[n++] = p.c_str();
  return RunParams(c, sql, n, nullptr, values, nullptr, nullptr, result_format);
}

class PostgresStore : public Store {
 public:
  ~PostgresStore() override {
    for (PGconn* c : pool_.all) PQfinish(c);
  }

  bool Open(const std::string& url, int connections, std::string* error) {
    for (int i = 0; i < connections; ++i) {
      PGconn* c = ConnectPostgres(url);
      if (c) pool_.all.push_back(c);
      if (!c || PQstatus(c) != CONNECTION_OK) {
        *error = std::string("PostgreSQL: ") + (c ? PQerrorMessage(c) : "out of memory");
        while (!error->empty() && error->back() == '\n') error->pop_back();
        return false;
      }
      pool_.idle.push_back(c);
    }
    if (!Migrate(pool_.all[0])) {
      *error = "PostgreSQL: " + LastError();
      return false;
    }
    return true;
  }

  bool Generation(int64_t* out) override {
    Conn c(this);
    Result r(RunSql(c.c, "SELECT generation FROM board_state"));
    if (!r.Rows() || PQntuples(r.r) != 1) return Fail(c.c);
    *out = r.Int(0, 0);
    return true;
  }

  bool FindByHash(const std::string& hash, Run* out, bool* found) override {
    Conn c(this);
    return FindByHashOn(c.c, hash, out, found);
  }

  bool Insert(const NewRun& run, Run* out, bool* existed) override {
    Conn c(this);
    if (!Exec(c.c, "BEGIN")) return false;
    bool ok = InsertOn(c.c, run, out, existed);
    if (ok && Exec(c.c, "COMMIT")) return true;
    PQclear(RunSql(c.c, "ROLLBACK"));
    return false;
  }

  bool Rank(const Run& run, int64_t* rank) override {
    Conn c(this);
    Result r(Query(c.c,
                   "SELECT count(*) FROM runs WHERE flies = $1 AND speed = $2 AND"
                   " (time_ms < $3 OR (time_ms = $3 AND id < $4))",
                   {std::to_string(run.flies), std::to_string(run.speed),
                    std::to_string(run.time_ms), std::to_string(run.id)}));
    if (!r.Rows()) return Fail(c.c);
    *rank = r.Int(0, 0) + 1;
    return true;
  }

  bool Best(int flies, int speed, int limit, std::vector<Run>* out) override {
    Conn c(this);
    std::string sql = std::string(kRunColumns) +
                      "WHERE flies = $1 AND speed = $2 ORDER BY time_ms, id LIMIT $3";
    Result r(Query(c.c, sql.c_str(),
                   {std::to_string(flies), std::to_string(speed), std::to_string(limit)}));
    if (!r.Rows()) return Fail(c.c);
    out->clear();
    for (int i = 0; i < PQntuples(r.r); ++i) out->push_back(ReadRun(r, i));
    return true;
  }

  bool Replay(int64_t id, std::string* bytes, bool* found) override {
    Conn c(this);
    Result r(Query(c.c,
                   "SELECT replays.bytes FROM runs JOIN replays ON replays.hash = runs.hash"
                   " WHERE runs.id = $1",
                   {std::to_string(id)}, 1));
    if (!r.Rows()) return Fail(c.c);
    *found = PQntuples(r.r) == 1;
    if (*found) bytes->assign(PQgetvalue(r.r, 0, 0), static_cast<size_t>(PQgetlength(r.r, 0, 0)));
    return true;
  }

  int SchemaVersion() override {
    Conn c(this);
    return VersionOn(c.c);
  }

  std::string LastError() override { return error_.Get(); }

 private:
  // A borrowed connection, re-opened first if the server dropped it.
  struct Conn {
    Borrowed<PGconn> b;
    PGconn* c;
    explicit Conn(PostgresStore* s) : b(&s->pool_), c(b.c) {
      ResetPostgres(c);
    }
  };

  bool Fail(PGconn* c) { return error_.Set(PostgresTrouble(c)); }

  bool Exec(PGconn* c, const char* sql) {
    Result r(RunSql(c, sql));
    return r.Done() || r.Rows() || Fail(c);
  }

  int VersionOn(PGconn* c) {
    Result r(RunSql(c, "SELECT version FROM schema_version"));
    if (!r.Rows() || PQntuples(r.r) != 1) return -1;
    return static_cast<int>(r.Int(0, 0));
  }

  bool Migrate(PGconn* c) {
    if (!Exec(c, "BEGIN") || !Exec(c, kMigrationLock)) return false;
    bool ok = MigrateSchema(
        kMigrations, kLatest, [&](const char* sql) { return Exec(c, sql); },
        [&] { return VersionOn(c); }, &error_);
    if (ok && Exec(c, "COMMIT")) return true;
    PQclear(RunSql(c, "ROLLBACK"));
    return false;
  }

  bool FindByHashOn(PGconn* c, const std::string& hash, Run* out, bool* found) {
    std::string sql = std::string(kRunColumns) + "WHERE hash = $1";
    Result r(Query(c, sql.c_str(), {hash}));
    if (!r.Rows()) return Fail(c);
    *found = PQntuples(r.r) == 1;
    if (*found) *out = ReadRun(r, 0);
    return true;
  }

  // Inside a transaction. A replay stored by another server at the same moment makes
  // the run insert do nothing (after waiting for that server's commit): its run stands.
  bool InsertOn(PGconn* c, const NewRun& run, Run* out, bool* existed) {
    const char* replay_values[2] = {run.hash.c_str(), run.replay.data()};
    int lengths[2] = {0, static_cast<int>(run.replay.size())};
    int formats[2] = {0, 1};
    Result replay(RunParams(c,
                               "INSERT INTO replays (hash, bytes) VALUES ($1, $2)"
                               " ON CONFLICT (hash) DO NOTHING",
                               2, nullptr, replay_values, lengths, formats, 0));
    if (!replay.Done()) return Fail(c);
    Result insert(Query(c,
                        "INSERT INTO runs (hash, name, flies, speed, time_ms, frames, created)"
                        " VALUES ($1, $2, $3, $4, $5, $6, $7) ON CONFLICT (hash) DO NOTHING"
                        " RETURNING id",
                        {run.hash, run.name, std::to_string(run.flies),
                         std::to_string(run.speed), std::to_string(run.time_ms),
                         std::to_string(run.frames), std::to_string(run.created)}));
    if (!insert.Rows()) return Fail(c);
    if (PQntuples(insert.r) == 0) {
      bool found = false;
      if (!FindByHashOn(c, run.hash, out, &found)) return false;
      *existed = true;
      return found;
    }
    *existed = false;
    *out = StoredRun(run, insert.Int(0, 0));
    return Exec(c, "UPDATE board_state SET generation = generation + 1");
  }

  ConnectionPool<PGconn> pool_;
  ErrorText error_;
};

}  // namespace

std::unique_ptr<Store> OpenPostgres(const std::string& url, int connections, std::string* error) {
  auto store = std::make_unique<PostgresStore>();
  if (!store->Open(url, connections < 1 ? 1 : connections, error)) return nullptr;
  return store;
}

}  // namespace board
