// `zumble-board backup` and `zumble-board restore`: a SQLite board copied whole while it
// serves, and a copy put back (PostgreSQL's are pg_dump's and pg_restore's, docs/board.md).
#pragma once

namespace board {

int BackupCommand(int argc, char** argv);
int RestoreCommand(int argc, char** argv);

}  // namespace board
