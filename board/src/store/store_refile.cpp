// Runs stored before the board knew how each round was dealt: found, filed under their
// pace with their swats, and the copies among them told apart, each change in one
// transaction that moves the board's generation. Likewise the runs stored before the
// board kept swat frames get theirs, and the copies among them moved a frame or two.
#include <ctime>

#include "replay/core/swat_frames.h"
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

constexpr char kSameSwats[] = "mode, seed and swats";
constexpr char kNearSwats[] = "mode and seed, every swat within two frames";

// A copy comes off the board (if it is on it); the operator reads why in the audit.
bool MarkCopy(SqlSession& db, int64_t copy, int64_t original, const char* how) {
  SqlRows rows;
  if (!db.Run("SELECT state FROM runs WHERE id = $1", {Int(copy)}, &rows) || rows.size() != 1)
    return false;
  bool shown = rows.At(0, 0) == "shown";
  return db.Run("UPDATE runs SET swats = NULL, swat_frames = NULL, state = $2 WHERE id = $1",
                {Int(copy), Text(shown ? "hidden" : rows.At(0, 0))}, nullptr) &&
         Note(db, "copy", copy,
              "the same round as run " + std::to_string(original) + " (" + how + ")" +
                  (shown ? "; hidden" : "; left " + rows.At(0, 0)));
}

// The run `id` gets its swat frames ("-": none to be had), unless it is a copy of an
// older run of its mode and seed moved a frame or two (then it comes off the board,
// *copy_of that run); a newer such run is the copy and comes off instead. *copies counts
// the runs that came off.
bool KeepFrames(SqlSession& db, int64_t id, const std::string& frames, int64_t* copy_of,
                int* copies) {
  std::vector<uint32_t> mine, theirs;
  SqlRows rows;
  if (ReadSwatFrames(frames, 1000, &mine) && !mine.empty()) {
    if (!db.Run("SELECT o.id, o.swat_frames FROM runs r JOIN runs o ON o.flies = r.flies"
                " AND o.speed = r.speed AND o.played = r.played AND o.id <> r.id"
                " WHERE r.id = $1 AND r.played >= 0 AND o.swat_frames IS NOT NULL ORDER BY o.id",
                {Int(id)}, &rows))
      return false;
    for (size_t i = 0; i < rows.size(); ++i) {
      if (!ReadSwatFrames(rows.At(i, 1), 1000, &theirs) || !SwatsWithin(mine, theirs, kNearFrames))
        continue;
      int64_t other = rows.Int(i, 0);
      ++*copies;
      if (other < id) {
        *copy_of = other;
        return MarkCopy(db, id, other, kNearSwats);
      }
      if (!MarkCopy(db, other, id, kNearSwats)) return false;
    }
  }
  return db.Run("UPDATE runs SET swat_frames = NULLIF($2, '') WHERE id = $1",
                {Int(id), Text(frames)}, nullptr);
}

// The rows of a query for runs to file or to give frames: id, flies, speed, time, verdict.
void ReadUnfiledRows(const SqlRows& rows, std::vector<UnfiledRun>* out) {
  for (size_t i = 0; i < rows.size(); ++i)
    out->push_back({rows.Int(i, 0), static_cast<int>(rows.Int(i, 1)),
                    static_cast<int>(rows.Int(i, 2)), rows.Int(i, 3), rows.At(i, 4)});
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
    ReadUnfiledRows(rows, out);
    return true;
  });
}

bool Store::FileRun(int64_t id, int64_t rate_keys, const std::string& swats,
                    const std::string& swat_frames, const std::string& verdict, int review_top,
                    int64_t* copy_of, bool* awaiting) {
  *copy_of = 0;
  *awaiting = false;
  int copies = 0;
  return Session(true, [&](SqlSession& db) {
    SqlRows rows;
    // A shown run that would take one of the top places of its board waits for a
    // moderator, as a new one does; looked at before it is on its board.
    if (!db.Run("SELECT player, flies, speed, time_ms, state, signs FROM runs"
                " WHERE id = $1 AND rate_keys = -1",
                {Int(id)}, &rows))
      return false;
    if (rows.size() == 0) return true;
    if (review_top > 0 && rows.At(0, 4) == "shown" && rows.At(0, 5).empty()) {
      NewRun run;
      run.flies = static_cast<int>(rows.Int(0, 1));
      run.speed = static_cast<int>(rows.Int(0, 2));
      run.time_ms = rows.Int(0, 3);
      run.rate_keys = rate_keys;
      run.review_top = review_top;
      if (!WouldTakeTop(db, run, rows.Int(0, 0), awaiting)) return false;
    }
    // Filed first, if nobody did (another server sharing the board files it too): on
    // PostgreSQL the second waits for the first and then finds it filed.
    if (!db.Run("UPDATE runs SET rate_keys = $2, verdict = $3,"
                " state = CASE WHEN $4 = 1 THEN 'held' ELSE state END"
                " WHERE id = $1 AND rate_keys = -1 RETURNING id",
                {Int(id), Int(rate_keys), Text(verdict), Int(*awaiting ? 1 : 0)}, &rows))
      return false;
    if (rows.size() == 0) {
      *awaiting = false;
      return true;
    }
    if (*awaiting &&
        !Note(db, "awaiting-review", id,
              "filed at the board's start: it would take a top place of its board, so it "
              "waits for a moderator"))
      return false;
    if (!db.Run("SELECT o.id FROM runs r JOIN runs o ON o.flies = r.flies AND o.speed = r.speed"
                " AND o.played = r.played AND o.swats = $2 AND o.id <> r.id WHERE r.id = $1",
                {Int(id), Text(swats)}, &rows))
      return false;
    int64_t other = rows.size() == 1 ? rows.Int(0, 0) : 0;
    // The older run keeps the round.
    if (other > 0 && other < id) {
      *copy_of = other;
      return MarkCopy(db, id, other, kSameSwats) && Moved(db);
    }
    if (other > 0 && !MarkCopy(db, other, id, kSameSwats)) return false;
    return db.Run("UPDATE runs SET swats = NULLIF($2, '') WHERE id = $1", {Int(id), Text(swats)},
                  nullptr) &&
           KeepFrames(db, id, swat_frames, copy_of, &copies) && Moved(db);
  });
}

bool Store::WithoutSwatFrames(int64_t after, int limit, std::vector<UnfiledRun>* out) {
  out->clear();
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run("SELECT id, flies, speed, time_ms, verdict FROM runs WHERE swat_frames IS NULL"
                " AND swats IS NOT NULL AND rate_keys >= 0 AND played >= 0 AND id > $1"
                " ORDER BY id LIMIT $2",
                {Int(after), Int(limit)}, &rows))
      return false;
    ReadUnfiledRows(rows, out);
    return true;
  });
}

bool Store::KeepSwatFrames(int64_t id, const std::string& swat_frames, int* copies) {
  *copies = 0;
  int64_t copy_of = 0;
  return Session(true, [&](SqlSession& db) {
    SqlRows rows;
    // Once, if another server sharing the board has not done it meanwhile.
    if (!db.Run("SELECT id FROM runs WHERE id = $1 AND swat_frames IS NULL AND swats IS NOT NULL",
                {Int(id)}, &rows))
      return false;
    if (rows.size() == 0) return true;
    return KeepFrames(db, id, swat_frames, &copy_of, copies) && Moved(db);
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
