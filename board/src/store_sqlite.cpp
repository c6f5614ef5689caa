// SQLite: one file in WAL mode (readers never wait for the writer), synchronous=FULL so
// a run answered 201 survives a crash of the machine as well as of the server.
#include <sqlite3.h>

#include "connection_pool.h"
#include "error_text.h"
#include "store.h"
#include "store_schema.h"

namespace board {

namespace {

// Each step brings the schema from the version before it; never edit a shipped step.
const char* const kMigrations[] = {
    // 1: runs, their replays (stored once, by hash) and the board's change counter.
    "CREATE TABLE replays (hash TEXT PRIMARY KEY, bytes BLOB NOT NULL);"
    "CREATE TABLE runs (id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " hash TEXT NOT NULL UNIQUE REFERENCES replays(hash), name TEXT NOT NULL,"
    " flies INTEGER NOT NULL, speed INTEGER NOT NULL, time_ms INTEGER NOT NULL,"
    " frames INTEGER NOT NULL, created INTEGER NOT NULL);"
    "CREATE INDEX runs_by_mode_time ON runs (flies, speed, time_ms, id);"
    "CREATE TABLE board_state (generation INTEGER NOT NULL);"
    "INSERT INTO board_state VALUES (0);",
};
constexpr int kLatest = sizeof kMigrations / sizeof kMigrations[0];

struct Statement {
  sqlite3_stmt* s = nullptr;
  Statement(sqlite3* db, const char* sql) {
    if (db) sqlite3_prepare_v2(db, sql, -1, &s, nullptr);  // none came free: fails
  }
  ~Statement() { sqlite3_finalize(s); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  bool ok() const { return s != nullptr; }
};

Run ReadRun(sqlite3_stmt* s) {
  Run r;
  r.id = sqlite3_column_int64(s, 0);
  r.name = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
  r.flies = sqlite3_column_int(s, 2);
  r.speed = sqlite3_column_int(s, 3);
  r.time_ms = sqlite3_column_int64(s, 4);
  r.frames = sqlite3_column_int64(s, 5);
  r.created = sqlite3_column_int64(s, 6);
  return r;
}

const char kRunColumns[] = "SELECT id, name, flies, speed, time_ms, frames, created FROM runs ";

class SqliteStore : public Store {
 public:
  ~SqliteStore() override {
    for (sqlite3* db : pool_.all) sqlite3_close(db);
  }

  bool Open(const std::string& path, int connections, std::string* error) {
    for (int i = 0; i < connections; ++i) {
      sqlite3* db = nullptr;
      int rc = sqlite3_open_v2(path.c_str(), &db,
                               SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE |
                                   SQLITE_OPEN_NOMUTEX, nullptr);
      if (db) pool_.all.push_back(db);
      if (rc != SQLITE_OK) {
        *error = path + ": " + (db ? sqlite3_errmsg(db) : "cannot open");
        return false;
      }
      // A lock held elsewhere (another server's write, a backup) is waited for this
      // long, then the request is answered 503 rather than kept.
      sqlite3_busy_timeout(db, 2000);
      if (!Exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
                    "PRAGMA foreign_keys=ON;")) {
        *error = path + ": " + LastError();
        return false;
      }
      pool_.idle.push_back(db);
    }
    if (!Migrate(pool_.all[0])) {
      *error = path + ": " + LastError();
      return false;
    }
    return true;
  }

  bool Generation(int64_t* out) override {
    Borrowed<sqlite3> db(&pool_);
    Statement st(db.c, "SELECT generation FROM board_state");
    if (!st.ok() || sqlite3_step(st.s) != SQLITE_ROW) return Fail(db.c);
    *out = sqlite3_column_int64(st.s, 0);
    return true;
  }

  bool FindByHash(const std::string& hash, Run* out, bool* found) override {
    Borrowed<sqlite3> db(&pool_);
    return FindByHashOn(db.c, hash, out, found);
  }

  bool Insert(const NewRun& run, Run* out, bool* existed) override {
    Borrowed<sqlite3> db(&pool_);
    if (!Exec(db.c, "BEGIN IMMEDIATE")) return false;
    bool ok = FindByHashOn(db.c, run.hash, out, existed);
    if (ok && !*existed) ok = InsertOn(db.c, run, out);
    if (ok && Exec(db.c, "COMMIT")) return true;
    sqlite3_exec(db.c, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }

  bool Rank(const Run& run, int64_t* rank) override {
    Borrowed<sqlite3> db(&pool_);
    Statement st(db.c,
                 "SELECT count(*) FROM runs WHERE flies = ?1 AND speed = ?2 AND"
                 " (time_ms < ?3 OR (time_ms = ?3 AND id < ?4))");
    if (!st.ok()) return Fail(db.c);
    sqlite3_bind_int(st.s, 1, run.flies);
    sqlite3_bind_int(st.s, 2, run.speed);
    sqlite3_bind_int64(st.s, 3, run.time_ms);
    sqlite3_bind_int64(st.s, 4, run.id);
    if (sqlite3_step(st.s) != SQLITE_ROW) return Fail(db.c);
    *rank = sqlite3_column_int64(st.s, 0) + 1;
    return true;
  }

  bool Best(int flies, int speed, int limit, std::vector<Run>* out) override {
    Borrowed<sqlite3> db(&pool_);
    std::string sql = std::string(kRunColumns) +
                      "WHERE flies = ? AND speed = ? ORDER BY time_ms, id LIMIT ?";
    Statement st(db.c, sql.c_str());
    if (!st.ok()) return Fail(db.c);
    sqlite3_bind_int(st.s, 1, flies);
    sqlite3_bind_int(st.s, 2, speed);
    sqlite3_bind_int(st.s, 3, limit);
    out->clear();
    int rc;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) out->push_back(ReadRun(st.s));
    return rc == SQLITE_DONE || Fail(db.c);
  }

  bool Replay(int64_t id, std::string* bytes, bool* found) override {
    Borrowed<sqlite3> db(&pool_);
    Statement st(db.c,
                 "SELECT replays.bytes FROM runs JOIN replays ON replays.hash = runs.hash"
                 " WHERE runs.id = ?");
    if (!st.ok()) return Fail(db.c);
    sqlite3_bind_int64(st.s, 1, id);
    int rc = sqlite3_step(st.s);
    *found = rc == SQLITE_ROW;
    if (rc == SQLITE_ROW) {
      const void* blob = sqlite3_column_blob(st.s, 0);
      bytes->assign(static_cast<const char*>(blob),
                    static_cast<size_t>(sqlite3_column_bytes(st.s, 0)));
      return true;
    }
    return rc == SQLITE_DONE || Fail(db.c);
  }

  int SchemaVersion() override {
    Borrowed<sqlite3> db(&pool_);
    return VersionOn(db.c);
  }

  std::string LastError() override { return error_.Get(); }

 private:
  bool Fail(sqlite3* db) {
    return error_.Set(db ? sqlite3_errmsg(db) : "no database connection came free in time");
  }

  bool Exec(sqlite3* db, const char* sql) {
    if (!db) return Fail(db);
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    error_.Set(message ? message : "unknown SQLite error");
    sqlite3_free(message);
    return false;
  }

  int VersionOn(sqlite3* db) {
    Statement st(db, "SELECT version FROM schema_version");
    if (!st.ok() || sqlite3_step(st.s) != SQLITE_ROW) return -1;
    return sqlite3_column_int(st.s, 0);
  }

  bool Migrate(sqlite3* db) {
    // BEGIN IMMEDIATE: two servers starting on one file migrate one after the other.
    if (!Exec(db, "BEGIN IMMEDIATE")) return false;
    bool ok = MigrateSchema(
        kMigrations, kLatest, [&](const char* sql) { return Exec(db, sql); },
        [&] { return VersionOn(db); }, &error_);
    if (ok && Exec(db, "COMMIT")) return true;
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }

  bool FindByHashOn(sqlite3* db, const std::string& hash, Run* out, bool* found) {
    std::string sql = std::string(kRunColumns) + "WHERE hash = ?";
    Statement st(db, sql.c_str());
    if (!st.ok()) return Fail(db);
    sqlite3_bind_text(st.s, 1, hash.data(), static_cast<int>(hash.size()), SQLITE_STATIC);
    int rc = sqlite3_step(st.s);
    *found = rc == SQLITE_ROW;
    if (*found) *out = ReadRun(st.s);
    return rc == SQLITE_ROW || rc == SQLITE_DONE || Fail(db);
  }

  bool InsertOn(sqlite3* db, const NewRun& run, Run* out) {
    Statement replay(db, "INSERT OR IGNORE INTO replays (hash, bytes) VALUES (?, ?)");
    if (!replay.ok()) return Fail(db);
    sqlite3_bind_text(replay.s, 1, run.hash.data(), static_cast<int>(run.hash.size()),
                      SQLITE_STATIC);
    sqlite3_bind_blob(replay.s, 2, run.replay.data(), static_cast<int>(run.replay.size()),
                      SQLITE_STATIC);
    if (sqlite3_step(replay.s) != SQLITE_DONE) return Fail(db);
    Statement insert(db,
                     "INSERT INTO runs (hash, name, flies, speed, time_ms, frames, created)"
                     " VALUES (?, ?, ?, ?, ?, ?, ?)");
    if (!insert.ok()) return Fail(db);
    sqlite3_bind_text(insert.s, 1, run.hash.data(), static_cast<int>(run.hash.size()),
                      SQLITE_STATIC);
    sqlite3_bind_text(insert.s, 2, run.name.data(), static_cast<int>(run.name.size()),
                      SQLITE_STATIC);
    sqlite3_bind_int(insert.s, 3, run.flies);
    sqlite3_bind_int(insert.s, 4, run.speed);
    sqlite3_bind_int64(insert.s, 5, run.time_ms);
    sqlite3_bind_int64(insert.s, 6, run.frames);
    sqlite3_bind_int64(insert.s, 7, run.created);
    if (sqlite3_step(insert.s) != SQLITE_DONE) return Fail(db);
    *out = StoredRun(run, sqlite3_last_insert_rowid(db));
    return Exec(db, "UPDATE board_state SET generation = generation + 1");
  }

  ConnectionPool<sqlite3> pool_;
  ErrorText error_;
};

}  // namespace

std::unique_ptr<Store> OpenSqlite(const std::string& path, int connections, std::string* error) {
  auto store = std::make_unique<SqliteStore>();
  if (!store->Open(path, connections < 1 ? 1 : connections, error)) return nullptr;
  return store;
}

}  // namespace board
