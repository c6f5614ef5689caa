// Review by moderators: who they are (a name and the hash of their key), and the runs
// that wait for them. A run waiting for review is a held run: held for its signs of
// machine play, or "awaiting review" (held without signs) because it would take one of
// the top places of its board, which keeps its confirmed runs until one is approved.
#include <ctime>

#include "store/store_rows.h"

namespace board {

namespace {

bool AuditModerator(SqlSession& db, const std::string& actor, const char* action,
                    const std::string& name) {
  return db.Run("INSERT INTO audit (at, actor, action, target, reason) VALUES ($1, $2, $3, $4, $5)",
                {Int(static_cast<int64_t>(time(nullptr))), Text(actor), Text(action),
                 Text("moderator " + name), Text(action)},
                nullptr);
}

void ReadReviewRuns(const SqlRows& rows, std::vector<Run>* out) {
  out->clear();
  for (size_t i = 0; i < rows.size(); ++i) out->push_back(ReadRun(rows, i));
}

}  // namespace

bool WouldTakeTop(SqlSession& db, const NewRun& run, int64_t player, bool* top) {
  // Only a new best of its player changes the board. Its place: one more than the other
  // players whose best is as fast or faster (older runs win a tie).
  SqlRows rows;
  if (!db.Run("SELECT count(DISTINCT player), count(CASE WHEN player = $5 THEN 1 END)"
              " FROM board_runs WHERE flies = $1 AND speed = $2 AND pace = $3 AND time_ms <= $4",
              {Int(run.flies), Int(run.speed), Int(run.rate_keys > 0 ? 1 : 0), Int(run.time_ms),
               Int(player)},
              &rows))
    return false;
  const int64_t mine = rows.Int(0, 1), others = rows.Int(0, 0) - (mine > 0 ? 1 : 0);
  *top = mine == 0 && others + 1 <= run.review_top;
  return true;
}

bool Store::AddModerator(const std::string& name, const std::string& key_hash,
                         const std::string& actor, std::string* why) {
  why->clear();
  return Session(true, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run("INSERT INTO moderators (name, key_hash, created) VALUES ($1, $2, $3)"
                " ON CONFLICT (name) DO NOTHING RETURNING name",
                {Text(name), Text(key_hash), Int(static_cast<int64_t>(time(nullptr)))}, &rows))
      return false;
    if (rows.size() == 0) {
      *why = name + " is a moderator already (remove them first for a new key)";
      return false;
    }
    return AuditModerator(db, actor, "moderator-add", name);
  });
}

bool Store::RemoveModerator(const std::string& name, const std::string& actor, std::string* why) {
  why->clear();
  return Session(true, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run("DELETE FROM moderators WHERE name = $1 RETURNING name", {Text(name)}, &rows))
      return false;
    if (rows.size() == 0) {
      *why = "no moderator is named " + name;
      return false;
    }
    return AuditModerator(db, actor, "moderator-remove", name);
  });
}

bool Store::Moderators(std::vector<std::string>* names) {
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run("SELECT name FROM moderators ORDER BY name", {}, &rows)) return false;
    names->clear();
    for (size_t i = 0; i < rows.size(); ++i) names->push_back(rows.At(i, 0));
    return true;
  });
}

bool Store::ModeratorOfKey(const std::string& key_hash, std::string* name, bool* found) {
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run("SELECT name FROM moderators WHERE key_hash = $1", {Text(key_hash)}, &rows))
      return false;
    *found = rows.size() == 1;
    if (*found) *name = rows.At(0, 0);
    return true;
  });
}

bool Store::AwaitingRuns(int flies, int speed, Pace pace, int limit, std::vector<Run>* out) {
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run((RunsFrom("all_runs") +
                 "WHERE state = 'held' AND signs = '' AND flies = $1 AND speed = $2 AND pace = $3"
                 " AND name_banned = 0 AND address_banned = 0 ORDER BY time_ms, id LIMIT $4")
                    .c_str(),
                {Int(flies), Int(speed), Int(static_cast<int>(pace)), Int(limit)}, &rows))
      return false;
    ReadReviewRuns(rows, out);
    return true;
  });
}

bool Store::PendingRuns(const std::string& fold, int limit, std::vector<Run>* out) {
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run((RunsFrom("all_runs") +
                 "WHERE state = 'held' AND signs = '' AND fold = $1 AND name_banned = 0"
                 " AND address_banned = 0 ORDER BY id LIMIT $2")
                    .c_str(),
                {Text(fold), Int(limit)}, &rows))
      return false;
    ReadReviewRuns(rows, out);
    return true;
  });
}

}  // namespace board
