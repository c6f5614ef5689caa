// What the board reads: the boards (one run a player, their best), ranks, players,
// records and replays. Only runs shown on the board count (the view board_runs: shown,
// and neither the name nor the address banned).
#include <iterator>

#include "replay/core/replay_bounds.h"
#include "store/store_rows.h"
#include "trust/keys.h"

namespace board {

Run ReadRun(const SqlRows& rows, size_t row) {
  Run r;
  r.id = rows.Int(row, 0);
  r.name = rows.At(row, 1);
  r.flies = static_cast<int>(rows.Int(row, 2));
  r.speed = static_cast<int>(rows.Int(row, 3));
  r.time_ms = rows.Int(row, 4);
  r.frames = rows.Int(row, 5);
  r.created = rows.Int(row, 6);
  r.played = rows.Int(row, 7);
  r.program = rows.At(row, 8);
  r.touch = rows.Int(row, 9) != 0;
  r.pad = rows.Int(row, 10) != 0;
  r.state = rows.At(row, 11);
  r.signs = rows.At(row, 12);
  r.sender = rows.At(row, 13);
  r.record = rows.Int(row, 14) != 0;
  r.personal = rows.Int(row, 15) != 0;
  r.shown_at = rows.Int(row, 16);
  r.rate_keys = rows.Int(row, 17);
  return r;
}

namespace {

void ReadRuns(const SqlRows& rows, std::vector<Run>* out) {
  out->clear();
  for (size_t i = 0; i < rows.size(); ++i) out->push_back(ReadRun(rows, i));
}

// A run that is its player's best of its mode's board (faster than their others of the
// same pace, or as fast and older).
constexpr char kPlayersBest[] =
    " NOT EXISTS (SELECT 1 FROM board_runs e WHERE e.player = r.player AND"
    " e.flies = r.flies AND e.speed = r.speed AND e.pace = r.pace AND (e.time_ms < r.time_ms"
    " OR (e.time_ms = r.time_ms AND e.id < r.id))) ";

}  // namespace

bool RankIn(SqlSession& db, int flies, int speed, Pace pace, int64_t time_ms, int64_t id,
            int64_t* rank) {
  // Every other player with a run faster than this one has a best faster than it.
  SqlRows rows;
  if (!db.Run("SELECT count(DISTINCT player) FROM board_runs WHERE flies = $1 AND speed = $2"
              " AND pace = $5 AND (time_ms < $3 OR (time_ms = $3 AND id < $4))"
              " AND player <> (SELECT player FROM runs WHERE id = $4)",
              {Int(flies), Int(speed), Int(time_ms), Int(id), Int(static_cast<int>(pace))}, &rows))
    return false;
  *rank = rows.Int(0, 0) + 1;
  return true;
}

bool Store::Generation(int64_t* out) {
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run("SELECT generation FROM board_state", {}, &rows)) return false;
    if (rows.size() != 1) return Fail("the board's state row is missing");
    *out = rows.Int(0, 0);
    return true;
  });
}

bool Store::FindByHash(const std::string& hash, Run* out, bool* found) {
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run((RunsFrom("all_runs") + "WHERE hash = $1").c_str(), {Text(hash)}, &rows))
      return false;
    *found = rows.size() == 1;
    if (*found) *out = ReadRun(rows, 0);
    return true;
  });
}

bool Store::Rank(const Run& run, int64_t* rank) {
  return Session(false, [&](SqlSession& db) {
    return RankIn(db, run.flies, run.speed, PaceOf(run), run.time_ms, run.id, rank);
  });
}

bool Store::Best(int flies, int speed, Pace pace, int limit, int64_t offset, Page* out) {
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    std::string sql = RunsFrom("board_runs r") +
                      "WHERE flies = $1 AND speed = $2 AND pace = $5"
                      " AND" +
                      kPlayersBest + "ORDER BY time_ms, id LIMIT $3 OFFSET $4";
    if (!db.Run(sql.c_str(),
                {Int(flies), Int(speed), Int(limit), Int(offset), Int(static_cast<int>(pace))},
                &rows))
      return false;
    ReadRuns(rows, &out->runs);
    out->offset = offset;
    if (!db.Run("SELECT count(DISTINCT player) FROM board_runs WHERE flies = $1 AND speed = $2"
                " AND pace = $3",
                {Int(flies), Int(speed), Int(static_cast<int>(pace))}, &rows))
      return false;
    out->total = rows.Int(0, 0);
    return true;
  });
}

bool Store::AllBest(int limit, std::vector<Page>* out) {
  // The boards of rounds as dealt. Two statements for all sixteen rather than two a board: a page built again
  // after every stored run costs the database two round trips. Each board is still read
  // in its index's order and stops at its limit.
  static const std::string sql = [] {
    std::string boards;
    for (int flies : kReplayFlies)
      for (int speed : kReplaySpeeds) {
        std::string mode = std::to_string(flies) + "_" + std::to_string(speed);
        boards += std::string(boards.empty() ? "" : " UNION ALL ") + "SELECT * FROM (" +
                  RunsFrom("board_runs r") + "WHERE flies = " + std::to_string(flies) +
                  " AND speed = " + std::to_string(speed) + " AND pace = 0 AND" + kPlayersBest +
                  "ORDER BY time_ms, id LIMIT $1) AS mode_" + mode;
      }
    return "SELECT * FROM (" + boards + ") AS boards ORDER BY flies, speed, time_ms, id";
  }();
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run(sql.c_str(), {Int(limit)}, &rows)) return false;
    out->assign(std::size(kReplayFlies) * std::size(kReplaySpeeds), Page{});
    auto at = [](int flies, int speed) -> int {
      for (size_t f = 0; f < std::size(kReplayFlies); ++f)
        for (size_t s = 0; s < std::size(kReplaySpeeds); ++s)
          if (kReplayFlies[f] == flies && kReplaySpeeds[s] == speed)
            return static_cast<int>(f * std::size(kReplaySpeeds) + s);
      return -1;
    };
    for (size_t i = 0; i < rows.size(); ++i) {
      Run run = ReadRun(rows, i);
      int board = at(run.flies, run.speed);
      if (board >= 0) (*out)[board].runs.push_back(std::move(run));
    }
    if (!db.Run("SELECT flies, speed, count(DISTINCT player) FROM board_runs WHERE pace = 0"
                " GROUP BY flies, speed",
                {}, &rows))
      return false;
    for (size_t i = 0; i < rows.size(); ++i) {
      int board = at(static_cast<int>(rows.Int(i, 0)), static_cast<int>(rows.Int(i, 1)));
      if (board >= 0) (*out)[board].total = rows.Int(i, 2);
    }
    return true;
  });
}

bool Store::PlayerRank(int flies, int speed, Pace pace, const std::string& fold, int64_t* rank) {
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run("SELECT id, time_ms FROM board_runs WHERE flies = $1 AND speed = $2 AND"
                " fold = $3 AND pace = $4 ORDER BY time_ms, id LIMIT 1",
                {Int(flies), Int(speed), Text(fold), Int(static_cast<int>(pace))}, &rows))
      return false;
    *rank = 0;
    if (rows.size() == 0) return true;
    return RankIn(db, flies, speed, pace, rows.Int(0, 1), rows.Int(0, 0), rank);
  });
}

bool Store::PlayerRuns(const std::string& fold, int limit, int64_t offset, Player* player,
                       bool* found, Page* out, std::vector<Run>* attempts) {
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run("SELECT id, name, fold, created, banned, ban_reason, key_hash IS NOT NULL"
                " FROM players WHERE fold = $1",
                {Text(fold)}, &rows))
      return false;
    *found = rows.size() == 1;
    out->runs.clear();
    out->total = 0;
    out->offset = offset;
    attempts->clear();
    if (!*found) return true;
    player->id = rows.Int(0, 0);
    player->name = rows.At(0, 1);
    player->fold = rows.At(0, 2);
    player->created = rows.Int(0, 3);
    player->banned = rows.Int(0, 4) != 0;
    player->ban_reason = rows.At(0, 5);
    player->has_key = rows.At(0, 6) == "1" || rows.At(0, 6) == "t";
    // Every shown run: each board's (a mode's as dealt, then with the keys) fastest first.
    if (!db.Run((std::string("SELECT " BOARD_RUN_COLUMNS ", CASE WHEN") + kPlayersBest +
                 "THEN 1 ELSE 0 END FROM board_runs r WHERE player = $1"
                 " ORDER BY flies, speed, pace, time_ms, id LIMIT $2 OFFSET $3")
                    .c_str(),
                {Int(player->id), Int(limit), Int(offset)}, &rows))
      return false;
    ReadRuns(rows, &out->runs);
    for (size_t i = 0; i < rows.size(); ++i) out->runs[i].best = rows.Int(i, kRunColumns) != 0;
    if (!db.Run("SELECT count(*) FROM board_runs WHERE player = $1", {Int(player->id)}, &rows))
      return false;
    out->total = rows.Int(0, 0);
    if (out->runs.empty()) return true;
    // The charts of the boards on this page: each board's newest runs, oldest first.
    const Run& from = out->runs.front();
    const Run& to = out->runs.back();
    auto board = [](const Run& r) {
      return r.flies * 100 + r.speed * 10 + static_cast<int>(PaceOf(r));
    };
    if (!db.Run("SELECT " BOARD_RUN_COLUMNS " FROM (SELECT " BOARD_RUN_COLUMNS ", pace,"
                " ROW_NUMBER() OVER (PARTITION BY flies, speed, pace ORDER BY id DESC) AS newer"
                " FROM board_runs WHERE player = $1) AS chart"
                " WHERE newer <= $2 AND flies * 100 + speed * 10 + pace BETWEEN $3 AND $4"
                " ORDER BY flies, speed, pace, id",
                {Int(player->id), Int(kPlayerChartRuns), Int(board(from)), Int(board(to))}, &rows))
      return false;
    ReadRuns(rows, attempts);
    return true;
  });
}

bool Store::ShownRun(int64_t id, Run* out, int64_t* rank, bool* found) {
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run((RunsFrom("board_runs") + "WHERE id = $1").c_str(), {Int(id)}, &rows)) return false;
    *found = rows.size() == 1;
    if (!*found) return true;
    *out = ReadRun(rows, 0);
    return RankIn(db, out->flies, out->speed, PaceOf(*out), out->time_ms, out->id, rank);
  });
}

bool Store::Records(int limit, Page* out) {
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    // The records of the boards of rounds as dealt.
    if (!db.Run((RunsFrom("board_runs") + "WHERE record = 1 AND pace = 0"
                                          " ORDER BY shown_at DESC, id DESC LIMIT $1")
                    .c_str(),
                {Int(limit)}, &rows))
      return false;
    ReadRuns(rows, &out->runs);
    out->offset = 0;
    if (!db.Run("SELECT count(*) FROM board_runs WHERE record = 1 AND pace = 0", {}, &rows))
      return false;
    out->total = rows.Int(0, 0);
    return true;
  });
}

bool Store::Replay(int64_t id, bool any_state, std::string* bytes, bool* found) {
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    std::string sql = std::string("SELECT bytes FROM replays WHERE hash = (SELECT hash FROM ") +
                      (any_state ? "all_runs" : "board_runs") + " WHERE id = $1)";
    if (!db.Run(sql.c_str(), {Int(id)}, &rows, true)) return false;
    *found = rows.size() == 1;
    if (*found) *bytes = rows.At(0, 0);
    return true;
  });
}

bool Store::BoardSecret(std::string* secret) {
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run("SELECT secret FROM board_state", {}, &rows)) return false;
    if (rows.size() != 1 || rows.At(0, 0).empty()) return Fail("the board has no secret yet");
    *secret = rows.At(0, 0);
    return true;
  });
}

bool Store::EnsureSecret() {
  std::string secret = NewKey();
  if (secret.empty()) return Fail("the system gave no randomness for the board's secret");
  return Session(true, [&](SqlSession& db) {
    return db.Run("UPDATE board_state SET secret = $1 WHERE secret = ''", {Text(secret)}, nullptr);
  });
}

bool Store::ListRuns(const RunFilter& filter, int limit, int64_t offset, Page* out) {
  // A sign is matched by its whole name in "NAME:VALUE,...": LIKE's own characters in
  // it are taken as they are.
  std::string sign;
  for (char c : filter.sign) {
    if (c == '%' || c == '_' || c == '\\') sign += '\\';
    sign += c;
  }
  return Session(false, [&](SqlSession& db) {
    // Each part of the filter left empty (or 0) takes any run.
    const char* where =
        "WHERE ($1 = '' OR state = $1) AND ($2 = '' OR fold = $2) AND ($3 = '' OR sender = $3)"
        " AND ($4 = '' OR (',' || signs) LIKE ('%,' || $4 || ':%') ESCAPE '\\')"
        " AND ($5 = 0 OR EXISTS (SELECT 1 FROM runs s WHERE s.id = $5 AND"
        " s.flies = all_runs.flies AND s.speed = all_runs.speed AND s.played = all_runs.played"
        " AND (s.played >= 0 OR s.id = all_runs.id))) ";
    std::vector<SqlParam> params = {Text(filter.state), Text(filter.fold), Text(filter.sender),
                                    Text(sign), Int(filter.same_as)};
    SqlRows rows;
    if (!db.Run((std::string("SELECT count(*) FROM all_runs ") + where).c_str(), params, &rows))
      return false;
    out->total = rows.Int(0, 0);
    params.push_back(Int(limit));
    params.push_back(Int(offset));
    if (!db.Run((RunsFrom("all_runs") + where + "ORDER BY id LIMIT $6 OFFSET $7").c_str(), params,
                &rows))
      return false;
    ReadRuns(rows, &out->runs);
    out->offset = offset;
    return true;
  });
}

bool Store::FindRun(int64_t id, Run* out, bool* found) {
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run((RunsFrom("all_runs") + "WHERE id = $1").c_str(), {Int(id)}, &rows)) return false;
    *found = rows.size() == 1;
    if (*found) *out = ReadRun(rows, 0);
    return true;
  });
}

bool Store::Audit(int limit, int64_t offset, std::vector<AuditRow>* out, int64_t* total) {
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run("SELECT id, at, actor, action, target, reason FROM audit ORDER BY id DESC"
                " LIMIT $1 OFFSET $2",
                {Int(limit), Int(offset)}, &rows))
      return false;
    out->clear();
    for (size_t i = 0; i < rows.size(); ++i)
      out->push_back({rows.Int(i, 0), rows.Int(i, 1), rows.At(i, 2), rows.At(i, 3), rows.At(i, 4),
                      rows.At(i, 5)});
    if (!db.Run("SELECT count(*) FROM audit", {}, &rows)) return false;
    *total = rows.Int(0, 0);
    return true;
  });
}

}  // namespace board
