// The moderators' routes: the review queue as a page, each run's clip for them, and
// their approve or reject. Every one needs a moderator's key (401 asking for it
// otherwise): the queue holds runs nobody else may see.
#include <algorithm>

#include "http/request_parse.h"
#include "pages/render.h"
#include "review/moderator_auth.h"
#include "review/review_page.h"
#include "routes/clip_file.h"
#include "routes/route_kit.h"
#include "routes/routes.h"
#include "trust/keys.h"
#include "trust/name_fold.h"

namespace board {

namespace {

constexpr int kReviewShown = 20;      // runs of the queue on the page at once
constexpr int kReviewTableRows = 10;  // rows of each table beside a run
constexpr size_t kMostReason = 500;

// The moderator's name, or false with the answer given (401, or the database down).
bool Moderator(Context* ctx, const HttpRequest& req, std::string* name, HttpResponse* res) {
  switch (CheckModerator(ctx->store, req, name)) {
    case ModeratorCheck::kModerator: return true;
    case ModeratorCheck::kDatabase: DatabaseDown(ctx, res); return false;
    case ModeratorCheck::kRefused: break;
  }
  res->AddHeader("WWW-Authenticate", "Basic realm=\"zumble-board review\", charset=\"UTF-8\"");
  SendError(res, 401, "the review queue is for moderators: give your moderator's key");
  return false;
}

// What a moderator decides one run by.
bool LoadItem(Context* ctx, const Run& run, const std::string& secret, ReviewItem* item) {
  Store& store = *ctx->store;
  item->run = run;
  Page board;
  RunFilter player, seed;
  player.fold = FoldName(run.name);
  seed.same_as = run.id;
  if (!store.Rank(run, &item->rank) ||
      !store.Best(run.flies, run.speed, PaceOf(run), kReviewTableRows, 0, &board) ||
      !store.ListRuns(player, kReviewTableRows, 0, &item->history) ||
      !store.ListRuns(seed, kReviewTableRows, 0, &item->same_seed))
    return false;
  item->board = std::move(board.runs);
  // Each sign beside how many shown runs carry it (approved ones).
  for (size_t at = 0; at < run.signs.size();) {
    size_t comma = std::min(run.signs.find(',', at), run.signs.size());
    std::string sign = run.signs.substr(at, comma - at);
    RunFilter shown;
    shown.state = "shown";
    shown.sign = sign.substr(0, sign.find(':'));
    Page with;
    if (!store.ListRuns(shown, 1, 0, &with)) return false;
    item->signs.emplace_back(sign, with.total);
    at = comma + 1;
  }
  item->clip = ClipStatus(&ctx->clips, run.id);
  item->watch = "/play/?replay=" + Percent("/api/runs/" + std::to_string(run.id) +
                                           "/replay?review=" + ReviewToken(secret, run.id));
  return true;
}

void ReviewQueue(Context* ctx, const HttpRequest& req, const Args&, HttpResponse* res) {
  std::string moderator, secret;
  if (!Moderator(ctx, req, &moderator, res)) return;
  RunFilter held;
  held.state = "held";
  Page queue;
  if (!ctx->store->ListRuns(held, kReviewShown, 0, &queue) || !ctx->store->BoardSecret(&secret))
    return DatabaseDown(ctx, res);
  std::vector<ReviewItem> items(queue.runs.size());
  for (size_t i = 0; i < queue.runs.size(); ++i)
    if (!LoadItem(ctx, queue.runs[i], secret, &items[i])) return DatabaseDown(ctx, res);
  res->AddHeader("Cache-Control", "private, no-store");
  res->Set(200, "text/html; charset=utf-8", ReviewPageHtml(moderator, items, queue.total));
}

// A run's clip for its moderator, whatever its state.
void ReviewClip(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res) {
  std::string moderator;
  int64_t id = 0;
  if (!Moderator(ctx, req, &moderator, res)) return;
  if (!ParseRunId(args[0], &id) || ctx->clips.dir.empty())
    return SendError(res, 404, "no such clip");
  SendClipFile(req, ClipFile(ctx->clips, id, "webm"), "video/webm", "private, no-store", res);
}

// approve or reject, with a reason, as the operator's admin does: in one transaction with
// its audit row, the moderator named as who did it.
void ReviewDecide(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res) {
  std::string moderator;
  int64_t id = 0;
  if (!Moderator(ctx, req, &moderator, res)) return;
  if (!ParseRunId(args[0], &id)) return SendError(res, 404, "no such run");
  const FormField* action = req.Field("action");
  const FormField* reason = req.Field("reason");
  std::string word = action ? action->value : "";
  if (word != "approve" && word != "reject")
    return SendError(res, 400, "action is approve or reject");
  if (!reason || reason->value.empty() || reason->value.size() > kMostReason)
    return SendError(res, 400, "a reason of 1 to 500 characters is needed");
  for (unsigned char c : reason->value)
    if (c < 0x20 || c == 0x7f) return SendError(res, 400, "a reason is one line of text");
  const bool approve = word == "approve";
  std::string why, key;
  bool ok = ctx->store->SetRunState(
      id, approve ? std::vector<std::string>{"held", "rejected"} : std::vector<std::string>{"held"},
      approve ? "shown" : "rejected", word, "moderator " + moderator, reason->value, &why, &key);
  if (!ok && why.empty()) return DatabaseDown(ctx, res);
  res->AddHeader("Cache-Control", "no-store");
  if (!ok) return res->Set(409, "text/html; charset=utf-8", ReviewDoneHtml(why));
  if (approve) QueueClip(&ctx->clips, id);
  std::string what =
      "Run " + std::to_string(id) + (approve ? " is on the board." : " is rejected.");
  if (!key.empty()) what += " Its name had no key: give its player this one: " + key;
  res->Set(200, "text/html; charset=utf-8", ReviewDoneHtml(what));
}

// The rows of this file's routes (route_kit.h).
// clang-format off
constexpr Route kReviewRows[] = {
    {.method = "GET", .pattern = "/review", .handle = ReviewQueue},
    {.method = "GET", .pattern = "/review/*/clip.webm", .handle = ReviewClip},
    {.method = "POST", .pattern = "/review/*", .handle = ReviewDecide},
};
// clang-format on

}  // namespace

std::span<const Route> ReviewRoutes() { return kReviewRows; }

}  // namespace board
