// PostgreSQL, for several servers sharing one board: every write is one transaction,
// the schema is migrated under an advisory lock so that servers starting together take
// turns, a dropped connection is re-opened on its next use, and no statement waits
// longer than its deadline (pg_connection.h).
#include <libpq-fe.h>

#include <cstdlib>
#include <utility>

#include "store/connection_pool.h"
#include "store/error_text.h"
#include "store/pg_connection.h"
#include "store/store.h"
#include "store/store_schema.h"

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
    // 2: players own their names, runs are told apart by their rounds, an operator
    // reviews, hides and bans, and says why in the audit table.
    "CREATE TABLE players (id BIGSERIAL PRIMARY KEY, name TEXT NOT NULL,"
    " fold TEXT NOT NULL UNIQUE, key_hash TEXT, created BIGINT NOT NULL,"
    " banned INTEGER NOT NULL DEFAULT 0, ban_reason TEXT NOT NULL DEFAULT '');"
    "CREATE TABLE banned_addresses (address TEXT PRIMARY KEY, reason TEXT NOT NULL,"
    " created BIGINT NOT NULL);"
    "CREATE TABLE audit (id BIGSERIAL PRIMARY KEY, at BIGINT NOT NULL,"
    " actor TEXT NOT NULL, action TEXT NOT NULL, target TEXT NOT NULL, reason TEXT NOT NULL);"
    "ALTER TABLE runs ADD COLUMN player BIGINT REFERENCES players(id),"
    " ADD COLUMN round TEXT, ADD COLUMN played BIGINT NOT NULL DEFAULT -1,"
    " ADD COLUMN program TEXT NOT NULL DEFAULT '', ADD COLUMN touch INTEGER NOT NULL DEFAULT 0,"
    " ADD COLUMN pad INTEGER NOT NULL DEFAULT 0, ADD COLUMN state TEXT NOT NULL DEFAULT 'shown',"
    " ADD COLUMN signs TEXT NOT NULL DEFAULT '', ADD COLUMN sender TEXT NOT NULL DEFAULT '',"
    " ADD COLUMN record INTEGER NOT NULL DEFAULT 0, ADD COLUMN personal INTEGER NOT NULL DEFAULT 0,"
    " ADD COLUMN shown_at BIGINT NOT NULL DEFAULT 0;"
    "ALTER TABLE board_state ADD COLUMN secret TEXT NOT NULL DEFAULT "
    "'';" BOARD_SCHEMA_STEP_2_COMMON,
    // 3: rounds filed by whether Enter or Space changed their pace, told apart by their
    // swats too; held runs claim no name.
    "ALTER TABLE runs ADD COLUMN rate_keys BIGINT NOT NULL DEFAULT -1,"
    " ADD COLUMN swats TEXT, ADD COLUMN verdict TEXT NOT NULL DEFAULT '',"
    " ADD COLUMN claim TEXT NOT NULL DEFAULT '';" BOARD_SCHEMA_STEP_3_COMMON,
    // 4: the frame of every swat, to tell copies whose swats moved a frame or two (NULL
    // for the runs stored before: they are told apart by their swats' digest alone).
    // Runs of one mode and seed are found by runs_by_swats's first three columns.
    "ALTER TABLE runs ADD COLUMN swat_frames TEXT;",
    // 5: moderators and the clips' claims (which server makes a run's clip).
    BOARD_SCHEMA_STEP_5_COMMON,
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

class PostgresStore;

class Connection : public SqlSession {
public:
  Connection(PostgresStore* store, PGconn* c) : store_(store), c_(c) {}
  bool Run(const char* sql, const std::vector<SqlParam>& params, SqlRows* rows,
           bool bytes) override;

private:
  PostgresStore* store_;
  PGconn* c_;
};

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

  bool Session(bool write, const std::function<bool(SqlSession&)>& body) override {
    Conn c(this);
    Connection session(this, c.c);
    // Read committed: a statement waits for a concurrent writer of the same row (the
    // same round, the same name) and then sees what it wrote, so the unique indexes
    // decide every race between servers.
    // Reads run each statement on its own: one round trip, no transaction.
    if (!write) return body(session);
    if (!Exec(c.c, "BEGIN")) return false;
    if (body(session) && Exec(c.c, "COMMIT")) return true;
    PQclear(RunSql(c.c, "ROLLBACK"));
    return false;
  }

  bool Fail(const std::string& why) override { return error_.Set(why); }

  // Read committed would let two servers (or two connections of one) each count the
  // held runs before either adds its own: a lock for the transaction, one per sender.
  bool LockSender(SqlSession& db, const std::string& sender) override {
    return db.Run("SELECT pg_advisory_xact_lock(2323002, hashtext($1))", {Text(sender)}, nullptr);
  }

  bool LockSeed(SqlSession& db, int flies, int speed, int64_t played) override {
    return db.Run(
        "SELECT pg_advisory_xact_lock(2323003, hashtext($1))",
        {Text(std::to_string(flies) + " " + std::to_string(speed) + " " + std::to_string(played))},
        nullptr);
  }

  int SchemaVersion() override {
    Conn c(this);
    return VersionOn(c.c);
  }

  std::string LastError() override { return error_.Get(); }

  StoreUsage Usage() override { return PoolUsage(&pool_, error_); }

private:
  friend class Connection;

  // A borrowed connection, re-opened first if the server dropped it.
  struct Conn {
    Borrowed<PGconn> b;
    PGconn* c;
    explicit Conn(PostgresStore* s) : b(&s->pool_), c(b.c) { ResetPostgres(c); }
  };

  bool FailOn(PGconn* c) { return error_.Set(PostgresTrouble(c)); }

  bool Exec(PGconn* c, const char* sql) {
    Result r(RunSql(c, sql));
    return r.Done() || r.Rows() || FailOn(c);
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

  ConnectionPool<PGconn> pool_;
  ErrorText error_;
};

bool Connection::Run(const char* sql, const std::vector<SqlParam>& params, SqlRows* rows,
                     bool bytes) {
  // Text parameters: the numbers and names as strings, bytes as binary.
  std::vector<std::string> numbers(params.size());
  std::vector<const char*> values(params.size());
  std::vector<int> lengths(params.size()), formats(params.size());
  for (size_t i = 0; i < params.size(); ++i) {
    const SqlParam& p = params[i];
    if (p.kind == SqlParam::kInt) numbers[i] = std::to_string(p.number);
    values[i] = p.kind == SqlParam::kInt ? numbers[i].c_str() : p.text.c_str();
    lengths[i] = static_cast<int>(p.text.size());
    formats[i] = p.kind == SqlParam::kBlob ? 1 : 0;
  }
  Result r(RunParams(c_, sql, static_cast<int>(params.size()), nullptr, values.data(),
                     lengths.data(), formats.data(), bytes ? 1 : 0));
  if (!r.Rows() && !r.Done()) return store_->FailOn(c_);
  if (rows) {
    rows->columns = PQnfields(r.r);
    rows->cells.clear();
    for (int row = 0; row < PQntuples(r.r); ++row)
      for (int col = 0; col < rows->columns; ++col)
        rows->cells.emplace_back(PQgetvalue(r.r, row, col),
                                 static_cast<size_t>(PQgetlength(r.r, row, col)));
  }
  return true;
}

}  // namespace

std::unique_ptr<Store> OpenPostgres(const std::string& url, int connections, std::string* error) {
  auto store = std::make_unique<PostgresStore>();
  if (!store->Open(url, connections < 1 ? 1 : connections, error)) return nullptr;
  return store;
}

}  // namespace board
