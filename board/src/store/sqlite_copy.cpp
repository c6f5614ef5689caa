#include "store/sqlite_copy.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "store/store.h"

namespace board {

namespace {

// Owns one connection.
struct CopyDb {
  sqlite3* db = nullptr;
  ~CopyDb() { sqlite3_close(db); }
  bool Open(const std::string& path, int flags, std::string* error) {
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) == SQLITE_OK) {
      // A writer's lock (a server storing a run) is waited for, not failed on.
      sqlite3_busy_timeout(db, 5000);
      return true;
    }
    *error = path + ": " + (db ? sqlite3_errmsg(db) : "cannot open");
    return false;
  }
};

bool CopyExec(sqlite3* db, const char* sql, std::string* error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  *error = message ? message : sqlite3_errmsg(db);
  sqlite3_free(message);
  return false;
}

// The first column of the first row of a query, or `otherwise`.
int64_t CopyNumber(sqlite3* db, const char* sql, int64_t otherwise) {
  sqlite3_stmt* st = nullptr;
  int64_t value = otherwise;
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
    value = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  return value;
}

// Whether the file is whole and is a board, with what it holds.
bool CheckCopiedBoard(sqlite3* db, const std::string& path, CopyCounts* counts,
                      std::string* error) {
  sqlite3_stmt* st = nullptr;
  std::string verdict = "no answer";
  if (sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW)
    verdict = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  sqlite3_finalize(st);
  if (verdict != "ok") {
    *error = path + ": damaged (" + verdict + ")";
    return false;
  }
  counts->schema = static_cast<int>(CopyNumber(db, "SELECT version FROM schema_version", -1));
  if (counts->schema < 1) {
    *error = path + ": not a board's database (no schema version)";
    return false;
  }
  counts->runs = CopyNumber(db, "SELECT count(*) FROM runs", 0);
  counts->players = CopyNumber(db, "SELECT count(*) FROM players", 0);
  counts->generation = CopyNumber(db, "SELECT generation FROM board_state", 0);
  return true;
}

// Every page of `from` into `to`, in one step: one read of one moment. A writer holding
// the file at that instant is waited for, within about fifteen seconds.
bool CopyPages(sqlite3* from, sqlite3* to, std::string* error) {
  sqlite3_backup* copy = sqlite3_backup_init(to, "main", from, "main");
  if (!copy) {
    *error = sqlite3_errmsg(to);
    return false;
  }
  // Each step waits out the busy timeout (5 s) itself; tried again until 10 s have gone.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int rc = SQLITE_OK;
  for (;;) {
    rc = sqlite3_backup_step(copy, -1);
    if ((rc != SQLITE_BUSY && rc != SQLITE_LOCKED) || std::chrono::steady_clock::now() >= give_up)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  sqlite3_backup_finish(copy);
  if (rc == SQLITE_DONE) return true;
  *error =
      rc == SQLITE_BUSY || rc == SQLITE_LOCKED ? "the database stayed locked" : sqlite3_errstr(rc);
  return false;
}

bool SyncCopied(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

std::string CopyFolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool BackupSqlite(const std::string& from, const std::string& to, CopyCounts* counts,
                  std::string* error) {
  if (access(to.c_str(), F_OK) == 0) {
    *error = to + " exists: name a new file";
    return false;
  }
  // Read-only: an operator's copy never leaves a -wal or -shm of its own owner beside the
  // board's file.
  CopyDb source;
  if (!source.Open(from, SQLITE_OPEN_READONLY, error)) return false;
  if (CopyNumber(source.db, "SELECT version FROM schema_version", -1) < 1) {
    *error = from + ": not a board's database";
    return false;
  }
  // Made beside the copy's name and linked to it once whole: a copy cut short (a full
  // disk, a kill) never has the name of a backup.
  const std::string part = to + ".part";
  int fd = open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error =
        part + (errno == EEXIST ? " exists (a backup cut short?): remove it" : ": cannot be made");
    return false;
  }
  close(fd);
  bool ok = false;
  {
    CopyDb copy;
    ok = copy.Open(part, SQLITE_OPEN_READWRITE, error) && CopyPages(source.db, copy.db, error) &&
         CopyExec(copy.db, "PRAGMA journal_mode=DELETE", error) &&
         CheckCopiedBoard(copy.db, part, counts, error);
  }
  ok = ok && SyncCopied(part);
  if (ok && link(part.c_str(), to.c_str()) != 0) {
    *error = to + " exists: name a new file";
    ok = false;
  }
  unlink(part.c_str());
  if (ok) SyncCopied(CopyFolderOf(to));
  return ok;
}

bool RestoreSqlite(const std::string& from, const std::string& to, CopyCounts* counts,
                   std::string* error) {
  CopyDb copy;
  CopyCounts checked;
  if (!copy.Open(from, SQLITE_OPEN_READONLY, error) ||
      !CheckCopiedBoard(copy.db, from, &checked, error))
    return false;
  // A board this server could not open is not put in the place of one it can.
  if (checked.schema > SqliteSchemaLatest()) {
    *error = from + ": schema " + std::to_string(checked.schema) +
             " is newer than this server's (" + std::to_string(SqliteSchemaLatest()) + ")";
    return false;
  }
  // A new board file is the server's alone, as the server makes its own.
  int fd = open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = to + ": cannot be opened";
    return false;
  }
  close(fd);
  CopyDb board;
  if (!board.Open(to, SQLITE_OPEN_READWRITE, error)) return false;
  const int64_t before = CopyNumber(board.db, "SELECT generation FROM board_state", 0);
  if (!CopyPages(copy.db, board.db, error) || !CopyExec(board.db, "PRAGMA journal_mode=WAL", error))
    return false;
  const std::string bump =
      "UPDATE board_state SET generation = MAX(generation, " + std::to_string(before) + ") + 1";
  if (!CopyExec(board.db, bump.c_str(), error)) return false;
  // Which server made which clip is the copy's past: the clip files are not restored with
  // it, so every wanted clip is to be made again.
  const bool claims = CopyNumber(board.db,
                                 "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND"
                                 " name = 'clip_claims'",
                                 0) > 0;
  const int64_t forgotten =
      claims ? CopyNumber(board.db, "SELECT count(*) FROM clip_claims", 0) : 0;
  if (claims && !CopyExec(board.db, "DELETE FROM clip_claims", error)) return false;
  if (!CheckCopiedBoard(board.db, to, counts, error)) return false;
  counts->clip_claims = forgotten;
  return true;
}

}  // namespace board
