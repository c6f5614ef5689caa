// Whether the disk a SQLite board lives on has room for one more run, asked before the
// verifier runs so that a full disk is said at once rather than after the work. (A
// PostgreSQL board's disk is the database server's: its error says so when it comes.)
#pragma once
#include <cstddef>
#include <string>

namespace board {

// False when `db` is a SQLite file on a disk with less than `bytes` (and a margin) free.
bool RoomToStore(const std::string& db, size_t bytes);

// Whether a store's error text is the database's disk being full.
bool IsDiskFull(const std::string& error);

}  // namespace board
