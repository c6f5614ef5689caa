// The players' routes: a player's page and its JSON.
#include "http/request_parse.h"
#include "pages/render.h"
#include "routes/route_kit.h"
#include "routes/routes.h"
#include "trust/name_fold.h"

namespace board {

namespace {

// A player's page: found by any name that folds like theirs.
bool LoadPlayer(Context* ctx, const HttpRequest& req, const Args& args, PlayerPage* page,
                HttpResponse* res) {
  std::string name;
  bool found = false;
  int64_t offset = 0;
  if (!ParseName(args[0], &name)) {
    SendError(res, 404, "no such player");
    return false;
  }
  if (!ReadPaging(req, &page->limit, &offset, res)) return false;
  if (!ctx->store->PlayerRuns(FoldName(name), page->limit, offset, &page->player, &found,
                              &page->runs, &page->attempts)) {
    DatabaseDown(ctx, res);
    return false;
  }
  // What waits for a moderator: the player's page says so.
  if (found && !ctx->store->PendingRuns(page->player.fold, 10, &page->awaiting)) {
    DatabaseDown(ctx, res);
    return false;
  }
  // A banned player, or one with nothing shown nor awaiting review, has no page.
  if (!found || page->player.banned ||
      (page->runs.total == 0 && offset == 0 && page->awaiting.empty())) {
    SendError(res, 404, "no such player");
    return false;
  }
  return true;
}

void PlayerApi(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res) {
  PlayerPage page;
  if (!LoadPlayer(ctx, req, args, &page, res)) return;
  SendJson(res, 200, PlayerJson(page));
}

void PlayerPageHtml(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res) {
  PlayerPage page;
  if (!LoadPlayer(ctx, req, args, &page, res)) return;
  res->Set(200, "text/html; charset=utf-8", PlayerHtml(page));
}

// The rows of this file's routes (route_kit.h).
constexpr Route kPlayersRows[] = {
    {.method = "GET",
     .pattern = "/players/*",
     .handle = PlayerPageHtml,
     .cached = true,
     .params = "limit offset"},
    {.method = "GET",
     .pattern = "/api/players/*",
     .handle = PlayerApi,
     .cached = true,
     .params = "limit offset"},
};

}  // namespace

std::span<const Route> PlayersRoutes() { return kPlayersRows; }

}  // namespace board
