#include "store/disk_room.h"

#include <sys/statvfs.h>

namespace board {

namespace {

constexpr unsigned long long kMargin = 4 << 20;  // the journal, the index, the page cache

bool IsPostgres(const std::string& db) {
  return db.rfind("postgresql://", 0) == 0 || db.rfind("postgres://", 0) == 0;
}

}  // namespace

bool RoomToStore(const std::string& db, size_t bytes) {
  if (IsPostgres(db)) return true;
  size_t slash = db.rfind('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : db.substr(0, slash);
  struct statvfs fs {};
  if (statvfs(dir.c_str(), &fs) != 0) return true;  // cannot tell: let the write say
  unsigned long long free_bytes =
      static_cast<unsigned long long>(fs.f_bavail) * static_cast<unsigned long long>(fs.f_frsize);
  return free_bytes >= kMargin + 2ULL * bytes;
}

bool IsDiskFull(const std::string& error) {
  // SQLite's SQLITE_FULL, and PostgreSQL's disk_full (53100) as the stores report them.
  return error.find("database or disk is full") != std::string::npos ||
         error.find("No space left on device") != std::string::npos ||
         error.find("[53100]") != std::string::npos;
}

}  // namespace board
