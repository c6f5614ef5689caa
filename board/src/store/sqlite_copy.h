// A SQLite board copied whole with SQLite's online backup API: the copy is the board at
// one moment even while a server writes to it (in WAL mode the copy reads one snapshot
// and never stops the writer), checked before it is trusted.
#pragma once
#include <cstdint>
#include <string>

namespace board {

// What a copy holds, said to the operator.
struct CopyCounts {
  int schema = -1;
  int64_t runs = 0, players = 0, generation = 0;
  int64_t clip_claims = 0;  // restored: the copy's records of clips made, forgotten
};

// Copies the board at `from` into the new file `to` (mode 600), which stands alone (no
// -wal beside it) and is never written over: false with *error when `to` exists, the
// board cannot be read, or the copy fails its integrity check.
bool BackupSqlite(const std::string& from, const std::string& to, CopyCounts* counts,
                  std::string* error);

// Writes the copy `from`, once checked, over the board at `to` (made when missing). A
// server running on `to` sees the copy whole; its generation ends above both, so that
// every server builds its pages again; the copy's records of the clips made are dropped,
// so that the board makes the clips again from the replays.
bool RestoreSqlite(const std::string& from, const std::string& to, CopyCounts* counts,
                   std::string* error);

}  // namespace board
