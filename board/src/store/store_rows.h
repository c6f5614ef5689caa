// What the board's queries share: the columns a run is read from, and reading them.
#pragma once
#include "store/store.h"

namespace board {

// The columns of the views all_runs and board_runs that make a Run, in ReadRun's order.
#define BOARD_RUN_COLUMNS                                                                 \
  "id, name, flies, speed, time_ms, frames, created, played, program, touch, pad, state," \
  " signs, sender, record, personal, shown_at, rate_keys"

Run ReadRun(const SqlRows& rows, size_t row);

// The columns after BOARD_RUN_COLUMNS start here.
constexpr int kRunColumns = 18;

// The rank a run of (time, id) has or would have among the players' bests of its mode's
// board of that pace.
bool RankIn(SqlSession& db, int flies, int speed, Pace pace, int64_t time_ms, int64_t id,
            int64_t* rank);

// A run goes on the board now: shown, with its record and personal-best flags measured
// against the board as it is (store_submit.cpp; the operator's approve uses it too).
bool MarkShown(SqlSession& db, int64_t id, int64_t now);

// Whether a new run would take one of the top run.review_top places of its board
// (store_review.cpp): then it waits for a moderator.
bool WouldTakeTop(SqlSession& db, const NewRun& run, int64_t player, bool* top);

// One run's columns from a view, for a WHERE that follows.
inline std::string RunsFrom(const char* view) {
  return std::string("SELECT " BOARD_RUN_COLUMNS " FROM ") + view + " ";
}

}  // namespace board
