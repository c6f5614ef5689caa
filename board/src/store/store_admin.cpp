// The operator's changes: each in one transaction with its audit row, and each moves the
// board's generation so every server's cached pages are built again.
#include <ctime>

#include "store/store_rows.h"
#include "trust/keys.h"

namespace board {

namespace {

bool Audited(SqlSession& db, const std::string& actor, const std::string& action,
             const std::string& target, const std::string& reason) {
  return db.Run("INSERT INTO audit (at, actor, action, target, reason) VALUES ($1, $2, $3, $4, $5)",
                {Int(static_cast<int64_t>(time(nullptr))), Text(actor), Text(action), Text(target),
                 Text(reason)},
                nullptr) &&
         db.Run("UPDATE board_state SET generation = generation + 1", {}, nullptr);
}

bool PlayerOf(SqlSession& db, const std::string& fold, int64_t* id, std::string* name,
              bool* found) {
  SqlRows rows;
  if (!db.Run("SELECT id, name FROM players WHERE fold = $1", {Text(fold)}, &rows)) return false;
  *found = rows.size() == 1;
  if (*found) {
    *id = rows.Int(0, 0);
    *name = rows.At(0, 1);
  }
  return true;
}

}  // namespace

bool Store::SetRunState(int64_t id, const std::vector<std::string>& from, const std::string& to,
                        const std::string& action, const std::string& actor,
                        const std::string& reason, std::string* why, std::string* key) {
  why->clear();
  if (key) key->clear();
  // A key for a name that an approved run claims without one (a run held before its
  // sender was given any), made outside the transaction.
  std::string spare = to == "shown" ? NewKey() : "";
  return Session(true, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run("SELECT runs.state, runs.shown_at, runs.claim, runs.player, players.key_hash,"
                " players.name FROM runs JOIN players ON players.id = runs.player"
                " WHERE runs.id = $1",
                {Int(id)}, &rows))
      return false;
    if (rows.size() != 1) {
      *why = "no run " + std::to_string(id);
      return false;
    }
    std::string state = rows.At(0, 0), claim = rows.At(0, 2), key_hash = rows.At(0, 4);
    int64_t player = rows.Int(0, 3);
    bool allowed = false;
    for (const std::string& f : from) allowed = allowed || f == state;
    if (!allowed) {
      *why = "run " + std::to_string(id) + " is " + state;
      return false;
    }
    bool first_shown = to == "shown" && rows.Int(0, 1) == 0;
    // A run that goes on the board for the first time claims its name: with the key its
    // sender was given when it was held, or a new one for the operator to pass on. A
    // name claimed meanwhile by another player's run is not its sender's.
    if (first_shown && !key_hash.empty() && (claim.empty() || !SameSecret(claim, key_hash))) {
      *why = "the name " + rows.At(0, 5) + " was claimed by another run since run " +
             std::to_string(id) + " was held, and its sender does not hold the key";
      return false;
    }
    if (first_shown && key_hash.empty()) {
      if (claim.empty()) {
        if (spare.empty()) return Fail("the system gave no randomness for a key");
        claim = KeyHash(spare);
        if (key) *key = spare;
      }
      if (!db.Run("UPDATE players SET key_hash = $2 WHERE id = $1", {Int(player), Text(claim)},
                  nullptr))
        return false;
    }
    // A run shown for the first time is measured against the board as it is now; one
    // shown before keeps what it was when it first went on.
    bool ok = first_shown ? MarkShown(db, id, static_cast<int64_t>(time(nullptr)))
                          : db.Run("UPDATE runs SET state = $2 WHERE id = $1", {Int(id), Text(to)},
                                   nullptr);
    // A name none of whose runs went on the board is free again when one is rejected.
    if (ok && to == "rejected")
      ok = db.Run(
          "UPDATE players SET key_hash = NULL WHERE id = $1 AND NOT EXISTS"
          " (SELECT 1 FROM runs WHERE runs.player = $1 AND runs.shown_at > 0)",
          {Int(player)}, nullptr);
    return ok && Audited(db, actor, action, "run " + std::to_string(id), reason);
  });
}

bool Store::BanName(const std::string& new_name, const std::string& fold, bool banned,
                    const std::string& actor, const std::string& reason, std::string* why) {
  why->clear();
  return Session(true, [&](SqlSession& db) {
    int64_t id = 0;
    std::string name;
    bool found = false;
    if (banned &&
        !db.Run("INSERT INTO players (name, fold, created) VALUES ($1, $2, $3)"
                " ON CONFLICT (fold) DO NOTHING",
                {Text(new_name), Text(fold), Int(static_cast<int64_t>(time(nullptr)))}, nullptr))
      return false;
    if (!PlayerOf(db, fold, &id, &name, &found)) return false;
    if (!found) {
      *why = "no player has that name";
      return false;
    }
    return db.Run("UPDATE players SET banned = $2, ban_reason = $3 WHERE id = $1",
                  {Int(id), Int(banned), Text(banned ? reason : "")}, nullptr) &&
           Audited(db, actor, banned ? "ban-name" : "unban-name", "name " + name, reason);
  });
}

bool Store::BanAddress(const std::string& address, bool banned, const std::string& actor,
                       const std::string& reason, std::string* why) {
  why->clear();
  return Session(true, [&](SqlSession& db) {
    SqlRows rows;
    if (!db.Run("SELECT 1 FROM banned_addresses WHERE address = $1", {Text(address)}, &rows))
      return false;
    if ((rows.size() == 1) == banned) {
      *why = address + (banned ? " is banned already" : " is not banned");
      return false;
    }
    bool ok =
        banned
            ? db.Run(
                  "INSERT INTO banned_addresses (address, reason, created)"
                  " VALUES ($1, $2, $3)",
                  {Text(address), Text(reason), Int(static_cast<int64_t>(time(nullptr)))}, nullptr)
            : db.Run("DELETE FROM banned_addresses WHERE address = $1", {Text(address)}, nullptr);
    return ok && Audited(db, actor, banned ? "ban-address" : "unban-address", "address " + address,
                         reason);
  });
}

bool Store::Rename(const std::string& old_fold, const std::string& name, const std::string& fold,
                   const std::string& actor, const std::string& reason, std::string* why) {
  why->clear();
  return Session(true, [&](SqlSession& db) {
    int64_t id = 0, other = 0;
    std::string old_name, other_name;
    bool found = false, taken = false;
    if (!PlayerOf(db, old_fold, &id, &old_name, &found)) return false;
    if (!found) {
      *why = "no player has that name";
      return false;
    }
    if (!PlayerOf(db, fold, &other, &other_name, &taken)) return false;
    if (taken && other != id) {
      *why = "the name " + name + " is " + other_name + "'s";
      return false;
    }
    // The runs keep the name they were sent under; the board shows the player's.
    return db.Run("UPDATE players SET name = $2, fold = $3 WHERE id = $1",
                  {Int(id), Text(name), Text(fold)}, nullptr) &&
           Audited(db, actor, "rename", "name " + old_name + " -> " + name, reason);
  });
}

bool Store::ResetKey(const std::string& fold, const std::string& key_hash, const std::string& actor,
                     const std::string& reason, std::string* why) {
  why->clear();
  return Session(true, [&](SqlSession& db) {
    int64_t id = 0;
    std::string name;
    bool found = false;
    if (!PlayerOf(db, fold, &id, &name, &found)) return false;
    if (!found) {
      *why = "no player has that name";
      return false;
    }
    return db.Run("UPDATE players SET key_hash = $2 WHERE id = $1", {Int(id), Text(key_hash)},
                  nullptr) &&
           Audited(db, actor, "new-key", "name " + name, reason);
  });
}

}  // namespace board
