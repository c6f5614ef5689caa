#include "review/review_admin.h"

#include <cstdio>
#include <memory>

#include "http/request_parse.h"
#include "pages/render.h"
#include "store/store.h"
#include "trust/keys.h"
#include "trust/moderator_key.h"

namespace board {

namespace {

constexpr size_t kMostModeratorName = 32;

int ReviewUsage(const std::string& why) {
  fprintf(stderr,
          "zumble-board admin: %s\n"
          "usage: zumble-board admin --db DB [--url BOARD_URL] review [approve ID | reject ID]"
          " [REASON... | --reason TEXT]\n"
          "       zumble-board admin --db DB moderator add NAME | remove NAME | list\n",
          why.c_str());
  return 2;
}

int DatabaseFailed(Store* store) {
  fprintf(stderr, "zumble-board admin: database: %s\n", store->LastError().c_str());
  return 2;
}

// A moderator's name is for the audit table and the review page: plain and short.
bool ModeratorName(const std::string& name) {
  if (name.empty() || name.size() > kMostModeratorName) return false;
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
          c == '_' || c == '-'))
      return false;
  return true;
}

int Moderators(Store* store, const std::vector<std::string>& words, const std::string& actor) {
  const std::string verb = words.size() > 1 ? words[1] : "";
  if (verb == "list" && words.size() == 2) {
    std::vector<std::string> names;
    if (!store->Moderators(&names)) return DatabaseFailed(store);
    printf("%zu moderator%s\n", names.size(), names.size() == 1 ? "" : "s");
    for (const std::string& name : names) printf("%s\n", name.c_str());
    return 0;
  }
  if ((verb != "add" && verb != "remove") || words.size() != 3)
    return ReviewUsage("moderator add NAME, moderator remove NAME or moderator list");
  const std::string& name = words[2];
  if (!ModeratorName(name))
    return ReviewUsage("a moderator's name is 1 to 32 of a-z A-Z 0-9 . _ -");
  std::string why;
  if (verb == "remove") {
    if (store->RemoveModerator(name, actor, &why)) {
      printf("%s is no longer a moderator; their key stops working\n", name.c_str());
      return 0;
    }
  } else {
    std::string key = NewModeratorKey();
    if (key.empty()) return ReviewUsage("the system gave no randomness for a key");
    if (store->AddModerator(name, KeyHash(key), actor, &why)) {
      printf("%s is a moderator; their key (given once, the board keeps only its hash): %s\n",
             name.c_str(), key.c_str());
      return 0;
    }
  }
  if (why.empty()) return DatabaseFailed(store);
  fprintf(stderr, "zumble-board admin: %s\n", why.c_str());
  return 1;
}

int ListQueue(Store* store, const std::string& url, int limit, int64_t offset) {
  RunFilter held;
  held.state = "held";
  Page page;
  std::string secret;
  if (!store->ListRuns(held, limit, offset, &page) || !store->BoardSecret(&secret))
    return DatabaseFailed(store);
  printf("review queue %lld-%lld of %lld\n",
         static_cast<long long>(page.runs.empty() ? 0 : offset + 1),
         static_cast<long long>(offset + static_cast<int64_t>(page.runs.size())),
         static_cast<long long>(page.total));
  for (const Run& r : page.runs) {
    int64_t rank = 0;
    if (!store->Rank(r, &rank)) return DatabaseFailed(store);
    printf("run %lld  %s  %s  %s  %s  sent %s from %s\n", static_cast<long long>(r.id),
           r.name.c_str(), ModeWords(r.flies, r.speed).c_str(), FormatTime(r.time_ms).c_str(),
           r.signs.empty() ? "awaiting review" : "held for its signs", IsoDate(r.created).c_str(),
           r.sender.empty() ? "?" : r.sender.c_str());
    printf("  would be number %lld of its board%s%s\n", static_cast<long long>(rank),
           r.signs.empty() ? "" : "; signs: ", r.signs.c_str());
    std::string replay =
        "/api/runs/" + std::to_string(r.id) + "/replay?review=" + ReviewToken(secret, r.id);
    printf("  watch: %s/play/?replay=%s\n", url.c_str(), Percent(replay).c_str());
  }
  return 0;
}

}  // namespace

int ReviewAdminCommand(const std::string& db, const std::string& url,
                       const std::vector<std::string>& words, const std::string& reason, int limit,
                       int64_t offset, const std::string& actor) {
  const bool review = words[0] == "review";
  const std::string verb = review && words.size() > 1 ? words[1] : "";
  int64_t id = 0;
  std::string why = reason;
  if (review && !verb.empty()) {
    if (verb != "approve" && verb != "reject")
      return ReviewUsage("review lists the queue; review approve ID or review reject ID");
    if (words.size() < 3 || !ParseRunId(words[2], &id)) return ReviewUsage("a run id is needed");
    // The reason may follow the id as words of its own.
    for (size_t i = 3; i < words.size(); ++i) why += (why.empty() ? "" : " ") + words[i];
    if (why.empty()) return ReviewUsage(verb + " needs a reason: every decision is kept with it");
  } else if (review && words.size() != 1) {
    return ReviewUsage("review lists the queue; review approve ID or review reject ID");
  }
  std::string error;
  std::unique_ptr<Store> store = OpenStore(db, 1, &error);
  if (!store) {
    fprintf(stderr, "zumble-board admin: %s\n", error.c_str());
    return 2;
  }
  if (!review) return Moderators(store.get(), words, actor);
  if (verb.empty()) return ListQueue(store.get(), url, limit, offset);
  const bool approve = verb == "approve";
  std::string refused, key;
  bool ok = store->SetRunState(
      id, approve ? std::vector<std::string>{"held", "rejected"} : std::vector<std::string>{"held"},
      approve ? "shown" : "rejected", verb, actor, why, &refused, &key);
  if (ok) {
    printf("run %lld is %s\n", static_cast<long long>(id), approve ? "shown" : "rejected");
    if (!key.empty())
      printf("its name had no key: the key (give it to its player): %s\n", key.c_str());
    return 0;
  }
  if (refused.empty()) return DatabaseFailed(store.get());
  fprintf(stderr, "zumble-board admin: %s\n", refused.c_str());
  return 1;
}

}  // namespace board
