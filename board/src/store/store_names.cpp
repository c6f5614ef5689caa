// The stored names folded as the board folds them now. A board's players are found by
// their names' folding (FoldName); a database written by an older server holds the
// folding of its day (the first schema's names were folded by SQL's lower(), which
// leaves a Cyrillic "С" as it is), so a name that folds alike today would find the
// wrong player, or claim a player whose name only looks like it.
#include <ctime>
#include <unordered_map>
#include <unordered_set>

#include "http/request_parse.h"
#include "store/store.h"
#include "trust/name_fold.h"
#include "trust/name_rules.h"

namespace board {

namespace {

constexpr size_t kToldRefused = 10;  // stored names the rules refuse, named one by one

struct Change {
  int64_t id = 0;
  std::string old_name, old_fold, name, fold;
  std::string older;  // renamed: the older player's name that it looks like
  int64_t older_id = 0;
};

// The name with "-N" after it, cut to fit a name's length; "" when none fits.
std::string Suffixed(const std::string& name, int n) {
  std::string suffix = "-" + std::to_string(n);
  std::string base = name;
  for (;;) {
    std::string out;
    if (ParseName(base + suffix, &out)) return out;
    if (base.empty()) return "";
    // One character off the end: its continuation bytes (10xxxxxx), then its lead.
    while (!base.empty() && (static_cast<unsigned char>(base.back()) & 0xC0) == 0x80)
      base.pop_back();
    if (!base.empty()) base.pop_back();
  }
}

// A name for a player that lost its name to an older one: NAME-2, NAME-3... whose
// folding nobody has.
std::string FreeName(const Change& c, std::unordered_set<std::string>* taken) {
  for (int n = 2; n < 1000; ++n) {
    std::string name = Suffixed(c.old_name, n);
    if (name.empty()) break;
    if (taken->insert(FoldName(name)).second) return name;
  }
  std::string name = "player-" + std::to_string(c.id);
  for (int n = 2; !taken->insert(FoldName(name)).second; ++n)
    name = "player-" + std::to_string(c.id) + "-" + std::to_string(n);
  return name;
}

}  // namespace

bool Store::FoldStoredNames(std::vector<std::string>* told) {
  told->clear();
  return Session(true, [&](SqlSession& db) {
    SqlRows rows;
    // Oldest first: of names that fold alike, the one claimed first keeps its name.
    if (!db.Run("SELECT id, name, fold FROM players ORDER BY created, id", {}, &rows)) return false;
    std::unordered_map<std::string, size_t> owner;  // a folding -> the oldest row with it
    std::unordered_set<std::string> taken;
    std::vector<std::string> folds(rows.size());
    size_t refused = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
      folds[i] = FoldName(rows.At(i, 1));
      owner.emplace(folds[i], i);
      taken.insert(folds[i]);
      std::string why = NameRefusal(rows.At(i, 1));
      if (!why.empty() && ++refused <= kToldRefused)
        told->push_back("player " + rows.At(i, 0) + " \"" + rows.At(i, 1) +
                        "\" would not be taken today (" + why + ")");
    }
    if (refused > kToldRefused)
      told->push_back("and " + std::to_string(refused - kToldRefused) +
                      " more stored names that would not be taken today");
    std::vector<Change> changes;
    for (size_t i = 0; i < rows.size(); ++i) {
      Change c;
      c.id = rows.Int(i, 0);
      c.old_name = c.name = rows.At(i, 1);
      c.old_fold = rows.At(i, 2);
      c.fold = folds[i];
      size_t first = owner[folds[i]];
      if (first != i) {
        c.older = rows.At(first, 1);
        c.older_id = rows.Int(first, 0);
        c.name = FreeName(c, &taken);
        c.fold = FoldName(c.name);
      }
      if (c.fold != c.old_fold || c.name != c.old_name) changes.push_back(std::move(c));
    }
    if (changes.empty()) return true;
    // Out of the way first (no name holds a '#'), then each to its place: one player's
    // new folding may be another's old one.
    for (const Change& c : changes) {
      if (!db.Run("UPDATE players SET fold = $2 WHERE id = $1 AND fold = $3 RETURNING id",
                  {Int(c.id), Text("#" + std::to_string(c.id)), Text(c.old_fold)}, &rows))
        return false;
      if (rows.size() != 1) return Fail("another server is folding the names; start again");
    }
    const int64_t now = static_cast<int64_t>(time(nullptr));
    for (const Change& c : changes) {
      std::string action = c.older.empty() ? "fold-name" : "rename";
      std::string reason = c.older.empty()
                               ? "the board folds names another way now"
                               : "looks like " + c.older + " (player " +
                                     std::to_string(c.older_id) + ", older), which keeps the name";
      if (!db.Run("UPDATE players SET name = $2, fold = $3 WHERE id = $1",
                  {Int(c.id), Text(c.name), Text(c.fold)}, nullptr) ||
          !db.Run(
              "INSERT INTO audit (at, actor, action, target, reason)"
              " VALUES ($1, 'zumble-board', $2, $3, $4)",
              {Int(now), Text(action), Text("name " + c.old_name + " -> " + c.name), Text(reason)},
              nullptr))
        return false;
      if (!c.older.empty())
        told->push_back("player " + std::to_string(c.id) + " \"" + c.old_name + "\" " + reason +
                        ": renamed \"" + c.name + "\"");
    }
    size_t folded = changes.size();
    for (const Change& c : changes) folded -= c.older.empty() ? 0 : 1;
    if (folded > 0) told->push_back("folded again: " + std::to_string(folded));
    return db.Run("UPDATE board_state SET generation = generation + 1", {}, nullptr);
  });
}

}  // namespace board
