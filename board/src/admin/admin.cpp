#include "admin/admin.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "http/request_parse.h"
#include "pages/render.h"
#include "review/review_admin.h"
#include "store/store.h"
#include "trust/keys.h"
#include "trust/name_fold.h"
#include "trust/name_rules.h"
#include "trust/sender.h"

namespace board {

namespace {

const char kAdminUsage[] =
    "usage: zumble-board admin --db DB [--url BOARD_URL] COMMAND [ARGS] [--reason TEXT]\n"
    "  held [--from ADDR] [--name NAME] [--sign SIGN]\n"
    "                           held runs, with their signs and watch links\n"
    "  runs [NAME] [--state S] [--from ADDR] [--sign SIGN] [--same-as ID]\n"
    "                           runs in any state (shown, held, hidden, rejected); --same-as:\n"
    "                           those of run ID's mode and seed, whatever their swats\n"
    "  approve ID... | reject ID...   held runs go on the board, or stay off it\n"
    "  approve --all-from ADDR | reject --all-from ADDR   every held run of an address\n"
    "  hide ID | restore ID     take a shown run off the board, or put it back\n"
    "  ban-name NAME | unban-name NAME   (a name nobody has yet too: nobody can take it)\n"
    "  ban-address ADDR | unban-address ADDR   (an IPv6 address bans its /64)\n"
    "  rename NAME NEW_NAME\n"
    "  new-key NAME             a new key for the name (the old one stops working)\n"
    "  export ID FILE           a run's replay, to watch with zumble --replay FILE\n"
    "  audit                    the operators' actions, newest first\n"
    "  review [approve ID | reject ID] [REASON]   the review queue (held and awaiting runs)\n"
    "  moderator add NAME | remove NAME | list    moderators, who review on /review\n"
    "  Lists take --limit N (20, at most 200) and --offset N. Every change needs --reason.\n";

int Usage(const std::string& why) {
  fprintf(stderr, "zumble-board admin: %s\n%s", why.c_str(), kAdminUsage);
  return 2;
}

}  // namespace

const char* AdminUsage() { return kAdminUsage; }

namespace {

std::string Actor() {
  for (const char* var : {"SUDO_USER", "USER", "LOGNAME"}) {
    const char* v = getenv(var);
    if (v && *v) return v;
  }
  return "uid " + std::to_string(getuid());
}

struct Command {
  std::string db, url, reason, state, from, name, sign, all_from;
  int64_t same_as = 0;
  bool has_reason = false;
  int limit = 20;
  int64_t offset = 0;
  std::vector<std::string> words;  // the command and its arguments
};

bool ParseArgs(int argc, char** argv, Command* a, std::string* why) {
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    bool option = arg == "--db" || arg == "--url" || arg == "--reason" || arg == "--state" ||
                  arg == "--limit" || arg == "--offset" || arg == "--from" || arg == "--name" ||
                  arg == "--sign" || arg == "--same-as" || arg == "--all-from";
    if (!option) {
      a->words.push_back(arg);
      continue;
    }
    if (i + 1 >= argc) {
      *why = arg + " needs a value";
      return false;
    }
    std::string value = argv[++i];
    if (arg == "--db")
      a->db = value;
    else if (arg == "--url")
      a->url = value;
    else if (arg == "--state")
      a->state = value;
    else if (arg == "--from")
      a->from = value;
    else if (arg == "--name")
      a->name = value;
    else if (arg == "--sign")
      a->sign = value;
    else if (arg == "--all-from")
      a->all_from = value;
    else if (arg == "--same-as") {
      if (!ParseRunId(value, &a->same_as)) {
        *why = "--same-as takes a run id";
        return false;
      }
    } else if (arg == "--reason") {
      a->reason = value;
      a->has_reason = true;
    } else if (arg == "--limit") {
      if (!ParseLimit(value, 20, 200, &a->limit)) {
        *why = "--limit is 1 to 200";
        return false;
      }
    } else if (!ParseCount(value, int64_t{1} << 40, &a->offset)) {
      *why = "--offset is a whole number";
      return false;
    }
  }
  while (!a->url.empty() && a->url.back() == '/') a->url.pop_back();
  return true;
}

// How the round was dealt, for the operator.
std::string PaceText(const Run& r) {
  if (r.rate_keys < 0) return "not filed yet";
  if (r.rate_keys == 0) return "as dealt";
  return "with Enter/Space (" + std::to_string(r.rate_keys) + ")";
}

void PrintRun(const Run& r, const std::string& url, const std::string& secret) {
  printf("run %lld  %s  %s  %s  %s  %s  state %s  sent %s from %s\n", static_cast<long long>(r.id),
         r.name.c_str(), ModeWords(r.flies, r.speed).c_str(), FormatTime(r.time_ms).c_str(),
         PlayedText(r).c_str(), PaceText(r).c_str(), r.state.c_str(), IsoDate(r.created).c_str(),
         r.sender.empty() ? "?" : r.sender.c_str());
  if (!r.signs.empty()) printf("  signs: %s\n", r.signs.c_str());
  std::string replay = "/api/runs/" + std::to_string(r.id) + "/replay";
  if (r.state != "shown") replay += "?review=" + ReviewToken(secret, r.id);
  printf("  watch: %s/play/?replay=%s\n", url.c_str(), Percent(replay).c_str());
}

int ListRuns(Store* store, const Command& a, const RunFilter& filter) {
  Page page;
  std::string secret;
  if (!store->ListRuns(filter, a.limit, a.offset, &page) || !store->BoardSecret(&secret)) {
    fprintf(stderr, "zumble-board admin: database: %s\n", store->LastError().c_str());
    return 2;
  }
  printf("%s runs %lld-%lld of %lld\n", filter.state.empty() ? "all" : filter.state.c_str(),
         static_cast<long long>(page.runs.empty() ? 0 : a.offset + 1),
         static_cast<long long>(a.offset + static_cast<int64_t>(page.runs.size())),
         static_cast<long long>(page.total));
  for (const Run& r : page.runs) PrintRun(r, a.url, secret);
  return 0;
}

int Audit(Store* store, const Command& a) {
  std::vector<AuditRow> rows;
  int64_t total = 0;
  if (!store->Audit(a.limit, a.offset, &rows, &total)) {
    fprintf(stderr, "zumble-board admin: database: %s\n", store->LastError().c_str());
    return 2;
  }
  printf("audit %lld-%lld of %lld\n", static_cast<long long>(rows.empty() ? 0 : a.offset + 1),
         static_cast<long long>(a.offset + static_cast<int64_t>(rows.size())),
         static_cast<long long>(total));
  for (const AuditRow& r : rows)
    printf("%lld  %s  %s  %s  %s  because: %s\n", static_cast<long long>(r.id),
           IsoDate(r.at).c_str(), r.actor.c_str(), r.action.c_str(), r.target.c_str(),
           r.reason.c_str());
  return 0;
}

// A change's result: 0 done, 1 refused with why, 2 the database failed.
int Done(Store* store, bool ok, const std::string& why, const std::string& what) {
  if (ok) {
    printf("%s\n", what.c_str());
    return 0;
  }
  if (!why.empty()) {
    fprintf(stderr, "zumble-board admin: %s\n", why.c_str());
    return 1;
  }
  fprintf(stderr, "zumble-board admin: database: %s\n", store->LastError().c_str());
  return 2;
}

bool NameArg(const std::string& raw, std::string* name, std::string* fold) {
  if (!ParseName(raw, name)) return false;
  *fold = FoldName(*name);
  return true;
}

// The filters of held and runs: false with *why for a bad one.
bool Filter(const Command& a, RunFilter* f, std::string* why) {
  std::string name;
  if (!a.name.empty() && !NameArg(a.name, &name, &f->fold)) {
    *why = "not a name: " + a.name;
    return false;
  }
  if (!a.from.empty() && (f->sender = SenderOf(a.from)).empty()) {
    *why = "not an address: " + a.from;
    return false;
  }
  for (char c : a.sign)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) {
      *why = "a sign is named in a-z, 0-9 and _ (jump_swats): " + a.sign;
      return false;
    }
  f->sign = a.sign;
  f->same_as = a.same_as;
  return true;
}

// approve and reject: each run given, or every held run of an address, each in its own
// transaction with its audit row. 0 all done, 1 some refused, 2 the database failed.
int ChangeRuns(Store* store, const Command& a, const std::vector<std::string>& from, const char* to,
               const std::string& actor) {
  const std::string& cmd = a.words[0];
  std::vector<int64_t> ids;
  for (size_t i = 1; i < a.words.size(); ++i) {
    int64_t id = 0;
    if (!ParseRunId(a.words[i], &id)) return Usage("not a run id: " + a.words[i]);
    ids.push_back(id);
  }
  if (!a.all_from.empty()) {
    RunFilter held;
    held.state = "held";
    held.sender = SenderOf(a.all_from);
    if (held.sender.empty()) return Usage("not an address: " + a.all_from);
    // The list is read whole first: the changes take runs out of it.
    for (int64_t offset = 0;;) {
      Page page;
      if (!store->ListRuns(held, 200, offset, &page)) return Done(store, false, "", "");
      for (const Run& r : page.runs) ids.push_back(r.id);
      offset += static_cast<int64_t>(page.runs.size());
      if (page.runs.empty() || offset >= page.total) break;
    }
    if (ids.empty()) printf("no held runs from %s\n", held.sender.c_str());
  }
  int result = 0;
  for (int64_t id : ids) {
    std::string why, key;
    bool ok = store->SetRunState(id, from, to, cmd, actor, a.reason, &why, &key);
    std::string what = "run " + std::to_string(id) + " is " + to;
    if (!key.empty()) what += "; its name had no key: the key (give it to its player): " + key;
    int rc = Done(store, ok, why, what);
    if (rc == 2) return 2;
    result = std::max(result, rc);
  }
  return result;
}

}  // namespace

int AdminCommand(int argc, char** argv) {
  Command a;
  std::string why;
  if (!ParseArgs(argc, argv, &a, &why)) return Usage(why);
  if (a.words.empty()) return Usage("no command");
  if (a.db.empty()) return Usage("--db is needed");
  const std::string& cmd = a.words[0];
  if (cmd == "review" || cmd == "moderator")
    return ReviewAdminCommand(a.db, a.url, a.words, a.reason, a.limit, a.offset, Actor());
  const bool many = cmd == "approve" || cmd == "reject";
  size_t want = cmd == "held" || cmd == "audit"      ? 1
                : cmd == "runs"                      ? a.words.size() <= 2 ? a.words.size() : 0
                : cmd == "rename" || cmd == "export" ? 3
                : many ? a.words.size() > 1 || !a.all_from.empty() ? a.words.size() : 0
                       : 2;
  if (a.words.size() != want) return Usage("wrong arguments for " + cmd);
  const bool lists = cmd == "held" || cmd == "runs";
  if (!a.all_from.empty() && !many) return Usage("--all-from goes with approve or reject");
  if ((!a.from.empty() || !a.sign.empty() || !a.name.empty() || a.same_as) && !lists)
    return Usage("--from, --name, --sign and --same-as go with held or runs");
  if ((!a.state.empty() || a.same_as) && cmd == "held")
    return Usage("held lists held runs: --state and --same-as go with runs");
  bool change = cmd != "held" && cmd != "runs" && cmd != "audit" && cmd != "export";
  if (change && (!a.has_reason || a.reason.empty()))
    return Usage(cmd + " needs --reason: every change is kept with its reason");
  RunFilter filter;
  if (lists && !Filter(a, &filter, &why)) return Usage(why);

  std::string error;
  std::unique_ptr<Store> store = OpenStore(a.db, 1, &error);
  if (!store) {
    fprintf(stderr, "zumble-board admin: %s\n", error.c_str());
    return 2;
  }
  std::string actor = Actor();
  if (cmd == "held") {
    filter.state = "held";
    return ListRuns(store.get(), a, filter);
  }
  if (cmd == "audit") return Audit(store.get(), a);
  if (cmd == "runs") {
    std::string name;
    if (a.words.size() == 2 && !NameArg(a.words[1], &name, &filter.fold))
      return Usage("not a name");
    filter.state = a.state;
    return ListRuns(store.get(), a, filter);
  }
  if (cmd == "approve") return ChangeRuns(store.get(), a, {"held", "rejected"}, "shown", actor);
  if (cmd == "reject") return ChangeRuns(store.get(), a, {"held"}, "rejected", actor);

  int64_t id = 0;
  bool by_id = cmd == "hide" || cmd == "restore" || cmd == "export";
  if (by_id && !ParseRunId(a.words[1], &id)) return Usage("not a run id: " + a.words[1]);
  struct StateChange {
    const char* command;
    std::vector<std::string> from;
    const char* to;
  } changes[] = {
      {"hide", {"shown"}, "hidden"},
      {"restore", {"hidden"}, "shown"},
  };
  for (const StateChange& c : changes) {
    if (cmd != c.command) continue;
    bool ok = store->SetRunState(id, c.from, c.to, cmd, actor, a.reason, &why);
    return Done(store.get(), ok, why, "run " + std::to_string(id) + " is " + c.to);
  }
  if (cmd == "export") {
    std::string bytes;
    bool found = false;
    if (!store->Replay(id, true, &bytes, &found)) return Done(store.get(), false, "", "");
    if (!found) return Done(store.get(), false, "no run " + a.words[1], "");
    std::ofstream out(a.words[2], std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) return Done(store.get(), false, a.words[2] + ": cannot write", "");
    return Done(store.get(), true, "", "run " + a.words[1] + " written to " + a.words[2]);
  }
  if (cmd == "ban-address" || cmd == "unban-address") {
    std::string address = SenderOf(a.words[1]);
    if (address.empty()) return Usage("no address");
    bool ban = cmd == "ban-address";
    bool ok = store->BanAddress(address, ban, actor, a.reason, &why);
    return Done(store.get(), ok, why, address + (ban ? " is banned" : " is no longer banned"));
  }
  std::string name, fold;
  if (!NameArg(a.words[1], &name, &fold)) return Usage("not a name: " + a.words[1]);
  if (cmd == "ban-name" || cmd == "unban-name") {
    bool ban = cmd == "ban-name";
    bool ok = store->BanName(name, fold, ban, actor, a.reason, &why);
    return Done(store.get(), ok, why, name + (ban ? " is banned" : " is no longer banned"));
  }
  if (cmd == "rename") {
    std::string new_name, new_fold;
    if (!NameArg(a.words[2], &new_name, &new_fold)) return Usage("not a name: " + a.words[2]);
    // The new name is one a player could take: a reader tells it from the others.
    const std::string refusal = NameRefusal(new_name);
    if (!refusal.empty()) return Done(store.get(), false, new_name + ": " + refusal, "");
    bool ok = store->Rename(fold, new_name, new_fold, actor, a.reason, &why);
    return Done(store.get(), ok, why, name + " is now " + new_name);
  }
  if (cmd == "new-key") {
    std::string key = NewKey();
    if (key.empty()) return Done(store.get(), false, "the system gave no randomness", "");
    bool ok = store->ResetKey(fold, KeyHash(key), actor, a.reason, &why);
    return Done(store.get(), ok, why,
                "the new key of " + name + " (give it to its player): " + key);
  }
  return Usage("unknown command " + cmd);
}

}  // namespace board
