// The schema's versions, the same for every store: a one-row table holds the version,
// and each migration step brings the schema from the version before it.
#pragma once
#include <string>

#include "store/error_text.h"

namespace board {

// Inside the caller's transaction: creates the version table when it is missing and runs
// the steps from the stored version to the last. A version this server does not know (a
// newer server's, or a damaged row) is refused and nothing is run. `exec(sql)` runs a
// statement and keeps its error; `version()` reads the stored version, -1 if it cannot.
template <typename Exec, typename Version>
bool MigrateSchema(const char* const* steps, int latest, Exec exec, Version version,
                   ErrorText* error) {
  if (!exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL);"
            "INSERT INTO schema_version SELECT 0"
            " WHERE NOT EXISTS (SELECT 1 FROM schema_version)")) {
    return false;
  }
  int at = version();
  if (at > latest) {
    return error->Set("the database's schema (version " + std::to_string(at) +
                      ") is newer than this server's (" + std::to_string(latest) + ")");
  }
  if (at < 0) return error->Set("the database's schema version cannot be read or is damaged");
  for (; at < latest; ++at) {
    std::string set = "UPDATE schema_version SET version = " + std::to_string(at + 1);
    if (!exec(steps[at]) || !exec(set.c_str())) return false;
  }
  return true;
}

}  // namespace board

// The second step's statements that are the same SQL on both stores, run after each
// store's own statements have made the new tables and columns (players, bans, audit;
// the runs' player, round, played, program, touch, pad, state, signs, sender, record,
// personal and shown_at; the board's secret). The names on the board so far were ASCII,
// so lower case with runs of spaces made one is their folded form; their players have
// no key yet, and the next accepted run under the name claims it.
#define BOARD_SCHEMA_STEP_2_COMMON                                                             \
  "INSERT INTO players (name, fold, created)"                                                  \
  " SELECT name, replace(replace(replace(replace(lower(name), '  ', ' '), '  ', ' '),"         \
  " '  ', ' '), '  ', ' '), created FROM runs"                                                 \
  " WHERE id IN (SELECT min(id) FROM runs GROUP BY replace(replace(replace(replace("           \
  "lower(name), '  ', ' '), '  ', ' '), '  ', ' '), '  ', ' '));"                              \
  "UPDATE runs SET player = (SELECT players.id FROM players WHERE players.fold ="              \
  " replace(replace(replace(replace(lower(runs.name), '  ', ' '), '  ', ' '), '  ', ' '),"     \
  " '  ', ' ')), round = hash, shown_at = created;"                                            \
  "UPDATE runs SET personal = CASE WHEN EXISTS (SELECT 1 FROM runs e WHERE"                    \
  " e.player = runs.player AND e.flies = runs.flies AND e.speed = runs.speed AND"              \
  " e.id < runs.id AND e.time_ms <= runs.time_ms) THEN 0 ELSE 1 END,"                          \
  " record = CASE WHEN EXISTS (SELECT 1 FROM runs e WHERE e.flies = runs.flies AND"            \
  " e.speed = runs.speed AND e.id < runs.id AND e.time_ms <= runs.time_ms) THEN 0 ELSE 1 END;" \
  "CREATE UNIQUE INDEX runs_by_round ON runs (round);"                                         \
  "CREATE INDEX runs_by_player ON runs (player, flies, speed, time_ms, id);"                   \
  "CREATE INDEX runs_by_state ON runs (state, id);"                                            \
  "CREATE VIEW all_runs AS SELECT runs.id, players.name AS name, runs.flies, runs.speed,"      \
  " runs.time_ms, runs.frames, runs.created, runs.played, runs.program, runs.touch,"           \
  " runs.pad, runs.state, runs.signs, runs.sender, runs.record, runs.personal,"                \
  " runs.shown_at, runs.player, runs.round, runs.hash, players.fold AS fold,"                  \
  " players.banned AS name_banned, CASE WHEN EXISTS (SELECT 1 FROM banned_addresses b"         \
  " WHERE b.address = runs.sender) THEN 1 ELSE 0 END AS address_banned"                        \
  " FROM runs JOIN players ON players.id = runs.player;"                                       \
  "CREATE VIEW board_runs AS SELECT * FROM all_runs"                                           \
  " WHERE state = 'shown' AND name_banned = 0 AND address_banned = 0;"

// The third step's statements common to both stores, after each store has added the
// runs' rate_keys (-1: not filed yet), swats, verdict (the verifier's whole line) and
// claim (the hash of the key a held run's sender holds). A held run no longer claims
// its name: the key its sender was given moves to the run, to become the name's if an
// operator approves it, and a name none of whose runs ever went on the board is free.
// One round is one run by what the game did too: mode, seed and swats are unique. The
// views give each run its pace (0 as dealt, 1 with Enter/Space, -1 not filed yet); the
// boards show only filed runs, and the board's start files the others.
#define BOARD_SCHEMA_STEP_3_COMMON                                                           \
  "UPDATE runs SET claim = COALESCE((SELECT key_hash FROM players WHERE"                     \
  " players.id = runs.player), '') WHERE state IN ('held', 'rejected');"                     \
  "UPDATE players SET key_hash = NULL WHERE NOT EXISTS (SELECT 1 FROM runs WHERE"            \
  " runs.player = players.id AND runs.shown_at > 0);"                                        \
  "CREATE UNIQUE INDEX runs_by_swats ON runs (flies, speed, played, swats);"                 \
  "DROP VIEW board_runs;"                                                                    \
  "DROP VIEW all_runs;"                                                                      \
  "CREATE VIEW all_runs AS SELECT runs.id, players.name AS name, runs.flies, runs.speed,"    \
  " runs.time_ms, runs.frames, runs.created, runs.played, runs.program, runs.touch,"         \
  " runs.pad, runs.state, runs.signs, runs.sender, runs.record, runs.personal,"              \
  " runs.shown_at, runs.rate_keys, runs.player, runs.round, runs.hash, runs.swats,"          \
  " runs.verdict, CASE WHEN runs.rate_keys > 0 THEN 1 WHEN runs.rate_keys = 0 THEN 0"        \
  " ELSE -1 END AS pace, players.fold AS fold, players.banned AS name_banned,"               \
  " CASE WHEN EXISTS (SELECT 1 FROM banned_addresses b WHERE b.address = runs.sender)"       \
  " THEN 1 ELSE 0 END AS address_banned FROM runs JOIN players ON players.id = runs.player;" \
  "CREATE VIEW board_runs AS SELECT * FROM all_runs WHERE state = 'shown' AND"               \
  " name_banned = 0 AND address_banned = 0 AND pace >= 0;"

// The fifth step, the same SQL on both stores: moderators, each with a key of their own
// (kept as its hash), who approve or reject the runs waiting for review; and the clips'
// claims, one row a run, which say which server makes its clip and since when (a claim
// left by a server that died is taken over once stale), what came of it, and the
// sender and seconds it counts against that sender's daily clip budget.
#define BOARD_SCHEMA_STEP_5_COMMON                                                 \
  "CREATE TABLE moderators (name TEXT PRIMARY KEY, key_hash TEXT NOT NULL UNIQUE," \
  " created BIGINT NOT NULL);"                                                     \
  "CREATE TABLE clip_claims (run BIGINT PRIMARY KEY, server TEXT NOT NULL,"        \
  " state TEXT NOT NULL, at BIGINT NOT NULL, sender TEXT NOT NULL,"                \
  " seconds BIGINT NOT NULL, why TEXT NOT NULL DEFAULT '');"                       \
  "CREATE INDEX clip_claims_by_sender ON clip_claims (sender, at);"
