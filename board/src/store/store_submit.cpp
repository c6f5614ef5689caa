// A verified submission becomes a run here, in one transaction: one run a round, names
// that belong to the player who first had a run accepted under them, bans, and the
// flags the pages and the feed read (a player's best, the mode's record).
#include "replay/core/swat_frames.h"
#include "store/store_rows.h"
#include "trust/keys.h"

namespace board {

namespace {

// The oldest stored run of this mode and seed whose every swat is within kNearFrames
// frames of this round's (0 none): a copy whose swats were moved a frame or two. The
// runs of one seed are few (rounds really played on it: a race against a run), and each
// costs a comparison of its frames.
bool FindNear(SqlSession& db, const NewRun& run, int64_t* id) {
  *id = 0;
  std::vector<uint32_t> mine, theirs;
  if (run.played < 0 || !ReadSwatFrames(run.swat_frames, 1000, &mine) || mine.empty()) return true;
  SqlRows rows;
  if (!db.Run("SELECT id, swat_frames FROM runs WHERE flies = $1 AND speed = $2 AND played = $3"
              " AND swat_frames IS NOT NULL ORDER BY id",
              {Int(run.flies), Int(run.speed), Int(run.played)}, &rows))
    return false;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (ReadSwatFrames(rows.At(i, 1), 1000, &theirs) && SwatsWithin(mine, theirs, kNearFrames)) {
      *id = rows.Int(i, 0);
      return true;
    }
  }
  return true;
}

// The stored run of this round: by the inputs' identity, by these very bytes (runs
// stored before rounds were known), by what the game did (the same mode, seed and
// swats, whatever the inputs did between them), or else a near copy (*near); and the
// fold of its player's name.
bool FindRound(SqlSession& db, const NewRun& run, Run* out, std::string* fold, bool* found,
               bool* near) {
  *near = false;
  SqlRows rows;
  if (!db.Run("SELECT " BOARD_RUN_COLUMNS ", fold FROM all_runs WHERE round = $1 OR hash = $2"
              " OR (swats = $3 AND flies = $4 AND speed = $5 AND played = $6)"
              " ORDER BY id LIMIT 1",
              {Text(run.round), Text(run.hash), Text(run.swats), Int(run.flies), Int(run.speed),
               Int(run.played)},
              &rows))
    return false;
  if (rows.size() == 0) {
    int64_t near_id = 0;
    if (!FindNear(db, run, &near_id)) return false;
    if (near_id > 0 && !db.Run("SELECT " BOARD_RUN_COLUMNS ", fold FROM all_runs WHERE id = $1",
                               {Int(near_id)}, &rows))
      return false;
    *near = rows.size() == 1;
  }
  *found = rows.size() == 1;
  if (*found) {
    *out = ReadRun(rows, 0);
    *fold = rows.At(0, kRunColumns);
  }
  return true;
}

// Is (time, id) faster than every shown run of its mode's board of its pace (and of
// the player, for a personal best)?
bool Fastest(SqlSession& db, const Run& run, int64_t player, bool* yes) {
  SqlRows rows;
  if (!db.Run("SELECT count(*) FROM board_runs WHERE flies = $1 AND speed = $2 AND"
              " time_ms <= $3 AND id <> $4 AND ($5 = 0 OR player = $5) AND pace = $6",
              {Int(run.flies), Int(run.speed), Int(run.time_ms), Int(run.id), Int(player),
               Int(static_cast<int>(PaceOf(run)))},
              &rows))
    return false;
  *yes = rows.Int(0, 0) == 0;
  return true;
}

}  // namespace

// Shared with the operator's approve and restore: a run that goes on the board now.
bool MarkShown(SqlSession& db, int64_t id, int64_t now) {
  SqlRows rows;
  if (!db.Run("SELECT flies, speed, time_ms, player, rate_keys FROM runs WHERE id = $1", {Int(id)},
              &rows) ||
      rows.size() != 1)
    return false;
  Run run;
  run.id = id;
  run.flies = static_cast<int>(rows.Int(0, 0));
  run.speed = static_cast<int>(rows.Int(0, 1));
  run.time_ms = rows.Int(0, 2);
  int64_t player = rows.Int(0, 3);
  run.rate_keys = rows.Int(0, 4);
  bool record = false, personal = false;
  if (!Fastest(db, run, 0, &record) || !Fastest(db, run, player, &personal)) return false;
  return db.Run(
      "UPDATE runs SET state = 'shown', shown_at = $2, record = $3, personal = $4"
      " WHERE id = $1",
      {Int(id), Int(now), Int(record), Int(personal)}, nullptr);
}

bool Store::CheckName(const std::string& fold, const std::string& key, Stored* out) {
  *out = Stored{};
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run("SELECT name, key_hash, banned, ban_reason FROM players WHERE fold = $1",
                {Text(fold)}, &rows))
      return false;
    if (rows.size() == 0) return true;
    if (rows.Int(0, 2) != 0) {
      out->outcome = Stored::kBannedName;
      out->reason = rows.At(0, 3);
    } else if (!rows.At(0, 1).empty() && !SameSecret(rows.At(0, 1), KeyHash(key))) {
      out->outcome = key.empty() ? Stored::kNameTaken : Stored::kBadKey;
      out->holder = rows.At(0, 0);
    }
    return true;
  });
}

bool Store::AddressBan(const std::string& address, bool* banned, std::string* reason) {
  return Session(false, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run("SELECT reason FROM banned_addresses WHERE address = $1", {Text(address)}, &rows))
      return false;
    *banned = rows.size() == 1;
    if (*banned) *reason = rows.At(0, 0);
    return true;
  });
}

bool Store::Submit(const NewRun& run, Stored* out) {
  *out = Stored{};
  return Session(true, [&](SqlSession& db) {
    SqlRows rows;
    // The address first: a banned sender learns nothing about names or rounds.
    if (!db.Run("SELECT reason FROM banned_addresses WHERE address = $1", {Text(run.sender)},
                &rows))
      return false;
    if (rows.size() == 1) {
      out->outcome = Stored::kBannedAddress;
      out->reason = rows.At(0, 0);
      return true;
    }
    // The name's row, made if it is new. On PostgreSQL this waits for another server
    // that is storing a run under the same name, so the round is looked up after it.
    if (!db.Run("INSERT INTO players (name, fold, created) VALUES ($1, $2, $3)"
                " ON CONFLICT (fold) DO NOTHING",
                {Text(run.name), Text(run.fold), Int(run.created)}, nullptr) ||
        !db.Run("SELECT id, name, key_hash, banned, ban_reason FROM players WHERE fold = $1",
                {Text(run.fold)}, &rows))
      return false;
    if (rows.size() != 1) return Fail("the player's row vanished");
    int64_t player = rows.Int(0, 0);
    std::string holder = rows.At(0, 1), key_hash = rows.At(0, 2), ban_reason = rows.At(0, 4);
    bool banned = rows.Int(0, 3) != 0;
    // A refused submission leaves no new name behind.
    auto refuse = [&](Stored::Outcome outcome) {
      out->outcome = outcome;
      return db.Run(
          "DELETE FROM players WHERE id = $1 AND key_hash IS NULL AND"
          " NOT EXISTS (SELECT 1 FROM runs WHERE runs.player = $1)",
          {Int(player)}, nullptr);
    };
    if (banned) {
      out->reason = ban_reason;
      return refuse(Stored::kBannedName);
    }
    // One run a round: the same round again under its own name is the run it was (a
    // retry, whatever the key), under any other name a duplicate.
    auto same_round = [&](bool* found) {
      std::string holder_fold;
      if (!FindRound(db, run, &out->run, &holder_fold, found, &out->near)) return false;
      if (!*found) return true;
      if (holder_fold != run.fold) return refuse(Stored::kDuplicate);
      out->outcome = Stored::kAlready;
      return RankIn(db, out->run.flies, out->run.speed, PaceOf(out->run), out->run.time_ms,
                    out->run.id, &out->rank);
    };
    // Servers sharing the board look for near copies one at a time for a seed.
    if (run.played >= 0 && !run.swat_frames.empty() &&
        !LockSeed(db, run.flies, run.speed, run.played))
      return false;
    bool found = false;
    if (!same_round(&found) || found) return found;
    // A claimed name needs its key.
    if (!key_hash.empty() && !SameSecret(key_hash, KeyHash(run.key))) {
      out->holder = holder;
      return refuse(run.key.empty() ? Stored::kNameTaken : Stored::kBadKey);
    }
    if (run.flies == 0) return Fail("a run to store without its verified mode");
    // A run that would take one of the top places of its board waits for a moderator
    // (held without signs: "awaiting review"); the board keeps its confirmed runs.
    bool awaiting = false;
    if (run.signs.empty() && run.review_top > 0 && run.rate_keys >= 0 &&
        !WouldTakeTop(db, run, player, &awaiting))
      return false;
    const bool held = !run.signs.empty() || awaiting;
    if (held) {
      if (!LockSender(db, run.sender) ||
          !db.Run("SELECT count(*) FROM runs WHERE state = 'held' AND sender = $1",
                  {Text(run.sender)}, &rows))
        return false;
      if (rows.Int(0, 0) >= run.max_held) return refuse(Stored::kTooManyHeld);
    }
    // A name without a key is claimed by a run that goes on the board. A held run claims
    // nothing: its sender is given the key the name gets if an operator approves it.
    // Either takes the key of one of the name's held runs when the sender gives it, so
    // one sender's runs all have one key.
    std::string claim = key_hash;
    bool new_claim = false;
    if (key_hash.empty()) {
      if (!run.key.empty()) {
        if (!db.Run("SELECT DISTINCT claim FROM runs WHERE player = $1 AND claim <> ''",
                    {Int(player)}, &rows))
          return false;
        std::string given = KeyHash(run.key);
        for (size_t i = 0; i < rows.size(); ++i)
          if (SameSecret(rows.At(i, 0), given)) claim = given;
      }
      if (claim.empty()) {
        out->key = NewKey();
        if (out->key.empty()) return Fail("the system gave no randomness for a key");
        claim = KeyHash(out->key);
      }
      new_claim = !held;
      if (new_claim && !db.Run("UPDATE players SET key_hash = $2 WHERE id = $1",
                               {Int(player), Text(claim)}, nullptr))
        return false;
    }
    if (!db.Run("INSERT INTO replays (hash, bytes) VALUES ($1, $2) ON CONFLICT (hash) DO NOTHING",
                {Text(run.hash), Blob(run.replay)}, nullptr) ||
        !db.Run("INSERT INTO runs (hash, name, flies, speed, time_ms, frames, created, player,"
                " round, played, program, touch, pad, state, signs, sender, rate_keys, swats,"
                " verdict, claim, swat_frames)"
                " VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16,"
                " $17, NULLIF($18, ''), $19, $20, NULLIF($21, ''))"
                " ON CONFLICT DO NOTHING RETURNING id",
                {Text(run.hash),       Text(run.name),
                 Int(run.flies),       Int(run.speed),
                 Int(run.time_ms),     Int(run.frames),
                 Int(run.created),     Int(player),
                 Text(run.round),      Int(run.played),
                 Text(run.program),    Int(run.touch),
                 Int(run.pad),         Text(held ? "held" : "shown"),
                 Text(run.signs),      Text(run.sender),
                 Int(run.rate_keys),   Text(run.swats),
                 Text(run.verdict),    Text(held ? claim : ""),
                 Text(run.swat_frames)},
                &rows))
      return false;
    if (rows.size() == 0) {
      // Another server stored the same round under another name meanwhile: this run
      // claims nothing.
      out->key.clear();
      if (new_claim &&
          !db.Run("UPDATE players SET key_hash = NULL WHERE id = $1", {Int(player)}, nullptr))
        return false;
      if (!same_round(&found)) return false;
      return found || Fail("a round was both stored and not found");
    }
    int64_t id = rows.Int(0, 0);
    if (!held && !MarkShown(db, id, run.created)) return false;
    if (!db.Run("UPDATE board_state SET generation = generation + 1", {}, nullptr)) return false;
    if (!db.Run((RunsFrom("all_runs") + "WHERE id = $1").c_str(), {Int(id)}, &rows) ||
        rows.size() != 1)
      return false;
    out->run = ReadRun(rows, 0);
    out->outcome = Stored::kStored;
    return RankIn(db, run.flies, run.speed, PaceOf(out->run), run.time_ms, id, &out->rank);
  });
}

}  // namespace board
