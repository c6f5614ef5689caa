// Counts the board's operator watches (its metrics).
#include "store/store.h"

namespace board {

bool Store::HeldRuns(int64_t* count) {
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run("SELECT count(*) FROM runs WHERE state = 'held'", {}, &rows)) return false;
    *count = rows.size() == 1 ? rows.Int(0, 0) : 0;
    return true;
  });
}

}  // namespace board
