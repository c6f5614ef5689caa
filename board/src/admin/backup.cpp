#include "admin/backup.h"

#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "store/sqlite_copy.h"

namespace board {

namespace {

const char kCopyUsage[] =
    "usage: zumble-board backup [--db DB] FILE              a copy of the board, taken while "
    "it serves\n"
    "       zumble-board restore [--db DB] FILE [--replace]  the copy put back (--replace: over "
    "a\n"
    "                                                        board that exists, served or not)\n"
    "  DB is the board's SQLite file (board.db); a PostgreSQL board is copied with pg_dump.\n";

int CopyUsage(const std::string& why) {
  fprintf(stderr, "zumble-board: %s\n%s", why.c_str(), kCopyUsage);
  return 2;
}

struct CopyArgs {
  std::string db = "board.db";
  std::string file;
  bool replace = false;
};

bool ReadCopyArgs(int argc, char** argv, bool restore, CopyArgs* a, std::string* why) {
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--db" && i + 1 < argc) {
      a->db = argv[++i];
    } else if (arg == "--replace" && restore) {
      a->replace = true;
    } else if (!arg.empty() && arg[0] != '-' && a->file.empty()) {
      a->file = arg;
    } else {
      *why = arg == "--db" ? "--db needs a value" : "unexpected " + arg;
      return false;
    }
  }
  if (a->file.empty()) *why = "which file?";
  return !a->file.empty();
}

bool NamesPostgres(const std::string& db) {
  return db.rfind("postgresql://", 0) == 0 || db.rfind("postgres://", 0) == 0;
}

// Clips and stills belong to run numbers: after a restore a number may be another run's,
// so the folder is emptied and the board makes them again from the replays (the newest
// at its start, the others when their pages are asked for).
int ClearRestoredClips(const std::string& db) {
  const std::string dir = db + "-clips";
  DIR* d = opendir(dir.c_str());
  if (!d) return 0;
  std::vector<std::string> names;
  while (dirent* e = readdir(d))
    if (isdigit(static_cast<unsigned char>(e->d_name[0]))) names.push_back(e->d_name);
  closedir(d);
  int removed = 0;
  for (const std::string& name : names) removed += unlink((dir + "/" + name).c_str()) == 0;
  return removed;
}

void SayCopied(const char* what, const std::string& file, const CopyCounts& c) {
  printf("zumble-board: %s %s: %lld runs, %lld players, schema %d, generation %lld\n", what,
         file.c_str(), static_cast<long long>(c.runs), static_cast<long long>(c.players), c.schema,
         static_cast<long long>(c.generation));
}

}  // namespace

int BackupCommand(int argc, char** argv) {
  CopyArgs a;
  std::string why;
  if (!ReadCopyArgs(argc, argv, false, &a, &why)) return CopyUsage(why);
  if (NamesPostgres(a.db))
    return CopyUsage("a PostgreSQL board is copied with pg_dump (docs/board.md, Backups)");
  CopyCounts counts;
  if (!BackupSqlite(a.db, a.file, &counts, &why)) {
    fprintf(stderr, "zumble-board: backup: %s\n", why.c_str());
    return 1;
  }
  SayCopied("backed up to", a.file, counts);
  return 0;
}

int RestoreCommand(int argc, char** argv) {
  CopyArgs a;
  std::string why;
  if (!ReadCopyArgs(argc, argv, true, &a, &why)) return CopyUsage(why);
  if (NamesPostgres(a.db))
    return CopyUsage("a PostgreSQL board is restored with pg_restore (docs/board.md, Backups)");
  if (access(a.db.c_str(), F_OK) == 0 && !a.replace)
    return CopyUsage(a.db +
                     " exists (a server may be serving it): --replace writes the copy "
                     "over it");
  CopyCounts counts;
  if (!RestoreSqlite(a.file, a.db, &counts, &why)) {
    fprintf(stderr, "zumble-board: restore: %s\n", why.c_str());
    return 1;
  }
  SayCopied("restored into", a.db, counts);
  int cleared = ClearRestoredClips(a.db);
  printf(
      "zumble-board: %d clip files removed, %lld records of clips made forgotten; the board "
      "makes them again from the replays\n",
      cleared, static_cast<long long>(counts.clip_claims));
  return 0;
}

}  // namespace board
