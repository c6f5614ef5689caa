// Runs stored before the board knew how each round was dealt: found, filed under their
// pace with their swats, and the copies among them told apart, each change in one
// transaction that moves the board's generation.
#include <ctime>

#include "store/store_rows.h"

namespace board {

namespace {

constexpr char kBoardActor[] = "zumble-board";

bool Note(SqlSession& db, const std::string& action, int64_t id, const std::string& reason) {
  return db.Run("INSERT INTO audit (at, actor, action, target, reason) VALUES ($1, $2, $3, $4, $5)",
                {Int(static_cast<int64_t>(time(nullptr))), Text(kBoardActor), Text(action),
                 Text("run " + std::to_string(id)), Text(reason)},
                nullptr);
}

bool Moved(SqlSession& db) {
  return db.Run("UPDATE board_state SET generation = generation + 1", {}, nullptr);
}

// A copy comes off the board (if it is on it); the operator reads why in the audit.
bool MarkCopy(SqlSession& db, int64_t copy, int64_t original) {
  SqlRows rows;
  if (!db.Run("SELECT state FROM runs WHERE id = $1", {Int(copy)}, &rows) || rows.size() != 1)
    return false;
  bool shown = rows.At(0, 0) == "shown";
  return db.Run("UPDATE runs SET swats = NULL, state = $2 WHERE id = $1",
                {Int(copy), Text(shown ? "hidden" : rows.At(0, 0))}, nullptr) &&
         Note(db, "copy", copy,
              "the same round as run " + std::to_string(original) +
                  " (mode, seed and swats)" + (shown ? "; hidden" : "; left " + rows.At(0, 0)));
}

}  // namespace

bool Store::Unfiled(int64_t after, int limit, std::vector<UnfiledRun>* out) {
  out->clear();
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run("SELECT id, flies, speed, time_ms, verdict FROM runs WHERE rate_keys = -1"
                " AND id > $1 AND (verdict = '' OR verdict LIKE 'ok %') ORDER BY id LIMIT $2",
                {Int(after), Int(limit)}, &rows))
      return false;
    for (size_t i = 0; i < rows.size(); ++i)
      out->push_back({rows.Int(i, 0), static_cast<int>(rows.Int(i, 1)),
                      static_cast<int>(rows.Int(i, 2)), rows.Int(i, 3), rows.At(i, 4)});
    return true;
  });
}

bool Store::FileRun(int64_t id, int64_t rate_keys, const std::string& swats,
                    const std::string& swat_frames, const std::string& verdict,
                    int64_t* copy_of) {
  *copy_of = 0;
  return Session(true, [&](SqlSession& db) {
    SqlRows rows;
    // Filed first, if nobody did (another server sharing the board files it too): on
    // PostgreSQL the second waits for the first and then finds it filed.
    if (!db.Run("UPDATE runs SET rate_keys = $2, verdict = $3 WHERE id = $1 AND rate_keys = -1"
                " RETURNING id",
                {Int(id), Int(rate_keys), Text(verdict)}, &rows))
      return false;
    if (rows.size() == 0) return true;
    if (!db.Run("SELECT o.id FROM runs r JOIN runs o ON o.flies = r.flies AND o.speed = r.speed"
                " AND o.played = r.played AND o.swats = $2 AND o.id <> r.id WHERE r.id = $1",
                {Int(id), Text(swats)}, &rows))
      return false;
    int64_t other = rows.size() == 1 ? rows.Int(0, 0) : 0;
    // The older run keeps the round.
    if (other > 0 && other < id) {
      *copy_of = other;
      return MarkCopy(db, id, other) && Moved(db);
    }
    if (other > 0 && !MarkCopy(db, other, id)) return false;
    return db.Run("UPDATE runs SET swats = NULLIF($2, ''), swat_frames = NULLIF($3, '')"
                  " WHERE id = $1",
                  {Int(id), Text(swats), Text(swat_frames)}, nullptr) &&
           Moved(db);
  });
}

bool Store::LeaveUnfiled(int64_t id, const std::string& line, const std::string& why) {
  return Session(true, [&](SqlSession& db) {
    // Kept as "unfiled: LINE", which the pass does not take again.
    return db.Run("UPDATE runs SET verdict = $2 WHERE id = $1", {Int(id), Text("unfiled: " + line)},
                  nullptr) &&
           Note(db, "unfiled", id, why) && Moved(db);
  });
}

bool Store::MeasureFlagsAgain(int flies, int speed) {
  // As MarkShown measures a run when it goes on: against the runs of its board that
  // went on before it.
  static const char kEarlier[] =
      "EXISTS (SELECT 1 FROM runs e WHERE e.flies = runs.flies AND e.speed = runs.speed"
      " AND e.shown_at > 0 AND e.rate_keys >= 0 AND (e.rate_keys > 0) = (runs.rate_keys > 0)"
      " AND (e.shown_at < runs.shown_at OR (e.shown_at = runs.shown_at AND e.id < runs.id))"
      " AND e.time_ms <= runs.time_ms";
  static const std::string sql = std::string("UPDATE runs SET record = CASE WHEN ") + kEarlier +
                                 ") THEN 0 ELSE 1 END, personal = CASE WHEN " + kEarlier +
                                 " AND e.player = runs.player) THEN 0 ELSE 1 END"
                                 " WHERE flies = $1 AND speed = $2 AND shown_at > 0"
                                 " AND rate_keys >= 0";
  return Session(true, [&](SqlSession& db) {
    return db.Run(sql.c_str(), {Int(flies), Int(speed)}, nullptr) && Moved(db);
  });
}

}  // namespace board
