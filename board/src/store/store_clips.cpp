// The clips' claims: one row a run says which server makes its clip, since when, and
// what came of it, so that servers sharing the database make each clip once. A claim of
// a server that died is taken over once stale. Each claim counts the clip's seconds
// against its sender's daily budget.
#include "store/store_rows.h"

namespace board {

namespace {

constexpr int64_t kClipBudgetDay = 86400;

// A run whose clip is worth making: one waiting for review (the moderator watches it),
// or one on its board that is its player's best there (every run of a board's first
// page is one).
constexpr char kClipWanted[] =
    "(r.state = 'held' OR (EXISTS (SELECT 1 FROM board_runs s WHERE s.id = r.id) AND"
    " NOT EXISTS (SELECT 1 FROM board_runs e WHERE e.player = r.player AND"
    " e.flies = r.flies AND e.speed = r.speed AND e.pace = r.pace AND (e.time_ms < r.time_ms"
    " OR (e.time_ms = r.time_ms AND e.id < r.id)))))";

bool WantedRun(SqlSession& db, int64_t id, bool* wanted, std::string* sender) {
  SqlRows rows;
  if (!db.Run((std::string("SELECT r.sender FROM all_runs r WHERE r.id = $1 AND ") + kClipWanted)
                  .c_str(),
              {Int(id)}, &rows))
    return false;
  *wanted = rows.size() == 1;
  if (*wanted && sender) *sender = rows.At(0, 0);
  return true;
}

}  // namespace

bool Store::ClaimClip(int64_t id, const std::string& server, int64_t now, int64_t stale_before,
                      int64_t seconds, int64_t budget_seconds, ClipClaim* out, std::string* why) {
  why->clear();
  return Session(true, [&](SqlSession& db) {
    bool wanted = false;
    std::string sender;
    if (!WantedRun(db, id, &wanted, &sender)) return false;
    if (!wanted) {
      *out = ClipClaim::kNotWanted;
      return true;
    }
    SqlRows rows;
    if (!db.Run("SELECT state, server, at FROM clip_claims WHERE run = $1", {Int(id)}, &rows))
      return false;
    if (rows.size() == 1) {
      const std::string& state = rows.At(0, 0);
      bool live = (state == "making" && rows.Int(0, 2) >= stale_before) || state == "made" ||
                  state == "failed" || state == "refused";
      if (live && rows.At(0, 1) != server) {
        *out = ClipClaim::kTaken;
        *why = state == "making" ? "server " + rows.At(0, 1) + " is making it" : state;
        return true;
      }
      if (state == "made" || state == "failed" || state == "refused") {
        *out = ClipClaim::kTaken;
        *why = state;
        return true;
      }
    }
    // The sender's budget, counted one session at a time for a sender (on PostgreSQL the
    // servers take turns under the sender's lock).
    if (!LockSender(db, sender) ||
        !db.Run("SELECT COALESCE(sum(seconds), 0) FROM clip_claims WHERE sender = $1"
                " AND at >= $2 AND state IN ('making', 'made') AND run <> $3",
                {Text(sender), Int(now - kClipBudgetDay), Int(id)}, &rows))
      return false;
    bool over = rows.Int(0, 0) + seconds > budget_seconds;
    // Whoever inserts or takes over the row holds the claim; another server's fresh
    // claim made meanwhile is left alone (its transaction is waited for first).
    if (!db.Run("INSERT INTO clip_claims (run, server, state, at, sender, seconds, why)"
                " VALUES ($1, $2, $3, $4, $5, $6, $7)"
                " ON CONFLICT (run) DO UPDATE SET server = excluded.server,"
                " state = excluded.state, at = excluded.at, why = excluded.why"
                " WHERE clip_claims.server = excluded.server OR (clip_claims.state = 'making'"
                " AND clip_claims.at < $8) RETURNING run",
                {Int(id), Text(server), Text(over ? "refused" : "making"), Int(now), Text(sender),
                 Int(over ? 0 : seconds),
                 Text(over ? "over its sender's clip budget of the day" : ""), Int(stale_before)},
                &rows))
      return false;
    if (rows.size() == 0) {
      *out = ClipClaim::kTaken;
      *why = "another server claimed it";
    } else {
      *out = over ? ClipClaim::kOverBudget : ClipClaim::kClaimed;
    }
    return true;
  });
}

bool Store::FinishClip(int64_t id, const std::string& server, const std::string& state,
                       const std::string& why) {
  return Session(true, [&](SqlSession& db) {
    return db.Run("UPDATE clip_claims SET state = $3, why = $4 WHERE run = $1 AND server = $2",
                  {Int(id), Text(server), Text(state), Text(why)}, nullptr);
  });
}

bool Store::ClipClaimOf(int64_t id, std::string* state, std::string* server, int64_t* at) {
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run("SELECT state, server, at FROM clip_claims WHERE run = $1", {Int(id)}, &rows))
      return false;
    state->clear();
    if (rows.size() == 1) {
      *state = rows.At(0, 0);
      *server = rows.At(0, 1);
      *at = rows.Int(0, 2);
    }
    return true;
  });
}

bool Store::DropClipClaim(int64_t id) {
  return Session(true, [&](SqlSession& db) {
    return db.Run("DELETE FROM clip_claims WHERE run = $1", {Int(id)}, nullptr);
  });
}

bool Store::ClipWanted(int64_t id, bool* wanted) {
  return Session(false, [&](SqlSession& db) { return WantedRun(db, id, wanted, nullptr); });
}

bool Store::WantedClips(int limit, std::vector<int64_t>* ids) {
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run((std::string("SELECT r.id FROM all_runs r WHERE ") + kClipWanted +
                 " AND NOT EXISTS (SELECT 1 FROM clip_claims c WHERE c.run = r.id AND"
                 " c.state IN ('made', 'failed', 'refused')) ORDER BY r.id DESC LIMIT $1")
                    .c_str(),
                {Int(limit)}, &rows))
      return false;
    ids->clear();
    for (size_t i = 0; i < rows.size(); ++i) ids->push_back(rows.Int(i, 0));
    return true;
  });
}

}  // namespace board
