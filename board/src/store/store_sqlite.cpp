// SQLite: one file in WAL mode (readers never wait for the writer), synchronous=FULL so
// a run answered 201 survives a crash of the machine as well as of the server.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "store/connection_pool.h"
#include "store/error_text.h"
#include "store/store.h"
#include "store/store_schema.h"

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
    // 2: players own their names, runs are told apart by their rounds, an operator
    // reviews, hides and bans, and says why in the audit table.
    "CREATE TABLE players (id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL,"
    " fold TEXT NOT NULL UNIQUE, key_hash TEXT, created INTEGER NOT NULL,"
    " banned INTEGER NOT NULL DEFAULT 0, ban_reason TEXT NOT NULL DEFAULT '');"
    "CREATE TABLE banned_addresses (address TEXT PRIMARY KEY, reason TEXT NOT NULL,"
    " created INTEGER NOT NULL);"
    "CREATE TABLE audit (id INTEGER PRIMARY KEY AUTOINCREMENT, at INTEGER NOT NULL,"
    " actor TEXT NOT NULL, action TEXT NOT NULL, target TEXT NOT NULL, reason TEXT NOT NULL);"
    "ALTER TABLE runs ADD COLUMN player INTEGER REFERENCES players(id);"
    "ALTER TABLE runs ADD COLUMN round TEXT;"
    "ALTER TABLE runs ADD COLUMN played INTEGER NOT NULL DEFAULT -1;"
    "ALTER TABLE runs ADD COLUMN program TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE runs ADD COLUMN touch INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE runs ADD COLUMN pad INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE runs ADD COLUMN state TEXT NOT NULL DEFAULT 'shown';"
    "ALTER TABLE runs ADD COLUMN signs TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE runs ADD COLUMN sender TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE runs ADD COLUMN record INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE runs ADD COLUMN personal INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE runs ADD COLUMN shown_at INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE board_state ADD COLUMN secret TEXT NOT NULL DEFAULT "
    "'';" BOARD_SCHEMA_STEP_2_COMMON,
    // 3: rounds filed by whether Enter or Space changed their pace, told apart by their
    // swats too; held runs claim no name.
    "ALTER TABLE runs ADD COLUMN rate_keys INTEGER NOT NULL DEFAULT -1;"
    "ALTER TABLE runs ADD COLUMN swats TEXT;"
    "ALTER TABLE runs ADD COLUMN verdict TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE runs ADD COLUMN claim TEXT NOT NULL DEFAULT '';" BOARD_SCHEMA_STEP_3_COMMON,
    // 4: the frame of every swat, to tell copies whose swats moved a frame or two (NULL
    // for the runs stored before: they are told apart by their swats' digest alone).
    // Runs of one mode and seed are found by runs_by_swats's first three columns.
    "ALTER TABLE runs ADD COLUMN swat_frames TEXT;",
    // 5: moderators and the clips' claims (which server makes a run's clip).
    BOARD_SCHEMA_STEP_5_COMMON,
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

class SqliteStore;

// The file holds the players' key hashes and the board's secret: a new one is the
// server's alone (SQLite gives its journal, WAL and shared-memory files the database
// file's mode). One made before with a wider mode is the operator's to narrow.
void KeepPrivate(const std::string& path) {
  if (path.empty() || path == ":memory:" || path.rfind("file:", 0) == 0) return;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) {
    close(fd);
    return;
  }
  struct stat st {};
  static std::atomic<bool> told{false};  // once, though a server opens the file twice
  if (errno == EEXIST && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      (st.st_mode & 077) != 0 && !told.exchange(true))
    fprintf(stderr, "zumble-board: %s can be read by other users (mode %o): chmod 600 it\n",
            path.c_str(), static_cast<unsigned>(st.st_mode & 0777));
}

// Parameters are written $1, $2...; SQLite reads ?1, ?2... the same way.
std::string SqliteParameters(const char* sql) {
  std::string out = sql;
  for (char& c : out)
    if (c == '$') c = '?';
  return out;
}

class Connection : public SqlSession {
public:
  Connection(SqliteStore* store, sqlite3* db) : store_(store), db_(db) {}
  bool Run(const char* sql, const std::vector<SqlParam>& params, SqlRows* rows,
           bool bytes) override;

private:
  SqliteStore* store_;
  sqlite3* db_;
};

class SqliteStore : public Store {
public:
  ~SqliteStore() override {
    for (sqlite3* db : pool_.all) sqlite3_close(db);
  }

  bool Open(const std::string& path, int connections, std::string* error) {
    KeepPrivate(path);
    for (int i = 0; i < connections; ++i) {
      sqlite3* db = nullptr;
      int rc = sqlite3_open_v2(path.c_str(), &db,
                               SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                               nullptr);
      if (db) pool_.all.push_back(db);
      if (rc != SQLITE_OK) {
        *error = path + ": " + (db ? sqlite3_errmsg(db) : "cannot open");
        return false;
      }
      // A lock held elsewhere (another server's write, a backup) is waited for this
      // long, then the request is answered 503 rather than kept.
      sqlite3_busy_timeout(db, 2000);
      if (!Exec(db,
                "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
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

  bool Session(bool write, const std::function<bool(SqlSession&)>& body) override {
    Borrowed<sqlite3> db(&pool_);
    Connection session(this, db.c);
    // Reads run each statement on its own (a read costs no transaction). A write's
    // BEGIN IMMEDIATE takes the write lock at once: two writers never both read, then
    // both try to write (which would fail one of them instead of making it wait).
    if (!write) return body(session);
    if (!Exec(db.c, "BEGIN IMMEDIATE")) return false;
    if (body(session) && Exec(db.c, "COMMIT")) return true;
    sqlite3_exec(db.c, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }

  bool Fail(const std::string& why) override { return error_.Set(why); }

  int SchemaVersion() override {
    Borrowed<sqlite3> db(&pool_);
    return VersionOn(db.c);
  }

  std::string LastError() override { return error_.Get(); }

  StoreUsage Usage() override { return PoolUsage(&pool_, error_); }

private:
  friend class Connection;

  bool FailOn(sqlite3* db) {
    return error_.Set(db ? sqlite3_errmsg(db) : "no database connection came free in time");
  }

  bool Exec(sqlite3* db, const char* sql) {
    if (!db) return FailOn(db);
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

  ConnectionPool<sqlite3> pool_;
  ErrorText error_;
};

// SQLite gives every column's bytes as they are, so `bytes` changes nothing here.
bool Connection::Run(const char* sql, const std::vector<SqlParam>& params, SqlRows* rows,
                     bool /*bytes*/) {
  Statement st(db_, SqliteParameters(sql).c_str());
  if (!st.ok()) return store_->FailOn(db_);
  for (size_t i = 0; i < params.size(); ++i) {
    const SqlParam& p = params[i];
    int at = static_cast<int>(i) + 1;
    if (p.kind == SqlParam::kInt)
      sqlite3_bind_int64(st.s, at, p.number);
    else if (p.kind == SqlParam::kBlob)
      sqlite3_bind_blob(st.s, at, p.text.data(), static_cast<int>(p.text.size()), SQLITE_STATIC);
    else
      sqlite3_bind_text(st.s, at, p.text.data(), static_cast<int>(p.text.size()), SQLITE_STATIC);
  }
  if (rows) {
    rows->columns = sqlite3_column_count(st.s);
    rows->cells.clear();
  }
  int rc;
  while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
    if (!rows) continue;
    for (int c = 0; c < rows->columns; ++c) {
      const void* cell = sqlite3_column_blob(st.s, c);
      int length = sqlite3_column_bytes(st.s, c);
      rows->cells.emplace_back(cell ? static_cast<const char*>(cell) : "",
                               static_cast<size_t>(length));
    }
  }
  return rc == SQLITE_DONE || store_->FailOn(db_);
}

}  // namespace

int SqliteSchemaLatest() { return kLatest; }

std::unique_ptr<Store> OpenSqlite(const std::string& path, int connections, std::string* error) {
  auto store = std::make_unique<SqliteStore>();
  if (!store->Open(path, connections < 1 ? 1 : connections, error)) return nullptr;
  return store;
}

}  // namespace board
