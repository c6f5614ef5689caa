// The boards' routes: the front page, each mode's board (as dealt and with keys, as a
// page and as JSON) and the feed of records.
#include "http/request_parse.h"
#include "pages/favicon.h"
#include "pages/render.h"
#include "replay/core/replay_bounds.h"
#include "routes/route_kit.h"
#include "routes/routes.h"
#include "trust/digest.h"
#include "trust/name_fold.h"

namespace board {

namespace {

constexpr int kBoardRows = 10;  // runs per mode on the front page and in /api/boards
constexpr int kFeedEntries = 20;
constexpr int kAwaitingShown = 10;  // runs awaiting review listed beside a board

bool LoadBoards(Context* ctx, std::vector<ModeBoard>* boards) {
  std::vector<Page> pages;
  if (!ctx->store->AllBest(kBoardRows, &pages)) return false;
  size_t board = 0;
  for (int flies : kReplayFlies)
    for (int speed : kReplaySpeeds) {
      Page& page = pages[board++];
      boards->push_back(ModeBoard{flies, speed, Pace::kDealt, std::move(page.runs), page.total, 0});
    }
  return true;
}

void BoardsPage(Context* ctx, const HttpRequest&, const Args&, HttpResponse* res) {
  std::vector<ModeBoard> boards;
  if (!LoadBoards(ctx, &boards)) return DatabaseDown(ctx, res);
  res->Set(200, "text/html; charset=utf-8", BoardsHtml(boards));
}

void AllBoards(Context* ctx, const HttpRequest&, const Args&, HttpResponse* res) {
  std::vector<ModeBoard> boards;
  if (!LoadBoards(ctx, &boards)) return DatabaseDown(ctx, res);
  SendJson(res, 200, BoardsJson(boards));
}

// One mode's board of a pace, a page of it; with name=NAME, the page where that player
// stands.
bool LoadMode(Context* ctx, const HttpRequest& req, const Args& args, Pace pace, ModePage* page,
              HttpResponse* res) {
  int64_t flies = 0, speed = 0;
  if (!ParseCount(args[0], 100000, &flies) || !ParseCount(args[1], 100000, &speed) ||
      !ReplayIsMode(flies, speed)) {
    SendError(res, 404, "no such board");
    return false;
  }
  int64_t offset = 0;
  if (!ReadPaging(req, &page->limit, &offset, res)) return false;
  page->board.flies = static_cast<int>(flies);
  page->board.speed = static_cast<int>(speed);
  page->board.pace = pace;
  std::string raw, name;
  if (req.Param("name", &raw) && !raw.empty()) {
    page->you = raw.substr(0, 64);
    if (ParseName(raw, &name)) {
      if (!ctx->store->PlayerRank(page->board.flies, page->board.speed, pace, FoldName(name),
                                  &page->you_rank)) {
        DatabaseDown(ctx, res);
        return false;
      }
      if (page->you_rank > 0) offset = (page->you_rank - 1) / page->limit * page->limit;
    }
  }
  Page rows;
  if (!ctx->store->Best(page->board.flies, page->board.speed, pace, page->limit, offset, &rows)) {
    DatabaseDown(ctx, res);
    return false;
  }
  page->board.runs = std::move(rows.runs);
  page->board.total = rows.total;
  page->board.offset = offset;
  // Beside the board: the runs that would take a top place once a moderator approves.
  if (!ctx->store->AwaitingRuns(page->board.flies, page->board.speed, pace, kAwaitingShown,
                                &page->awaiting)) {
    DatabaseDown(ctx, res);
    return false;
  }
  return true;
}

void BoardApi(Context* ctx, const HttpRequest& req, const Args& args, Pace pace,
              HttpResponse* res) {
  ModePage page;
  if (!LoadMode(ctx, req, args, pace, &page, res)) return;
  SendJson(res, 200, ModePageJson(page));
}

void BoardPage(Context* ctx, const HttpRequest& req, const Args& args, Pace pace,
               HttpResponse* res) {
  ModePage page;
  if (!LoadMode(ctx, req, args, pace, &page, res)) return;
  res->Set(200, "text/html; charset=utf-8", ModeBoardHtml(page));
}

// A mode's board of rounds as dealt, and beside it the one of rounds whose pace Enter or
// Space changed.
void OneBoard(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res) {
  BoardApi(ctx, req, args, Pace::kDealt, res);
}
void KeysBoard(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res) {
  BoardApi(ctx, req, args, Pace::kKeys, res);
}
void ModeBoardPage(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res) {
  BoardPage(ctx, req, args, Pace::kDealt, res);
}
void KeysBoardPage(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res) {
  BoardPage(ctx, req, args, Pace::kKeys, res);
}

void Feed(Context* ctx, const HttpRequest& req, const Args&, HttpResponse* res) {
  Page records;
  std::string secret;
  if (!ctx->store->Records(kFeedEntries, &records) || !ctx->store->BoardSecret(&secret))
    return DatabaseDown(ctx, res);
  // The feed's id: a UUID made from the board's secret, the same on every server.
  std::string hex = Sha256Hex("feed:" + secret).substr(0, 32);
  hex[12] = '8';
  hex[16] = '8';
  std::string uuid = hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
                     hex.substr(16, 4) + "-" + hex.substr(20);
  res->Set(200, "application/atom+xml; charset=utf-8",
           RecordsAtom(records.runs, uuid, FeedBase(*ctx, req)));
}

// The game's icon for the browsers' tabs: the same bytes always, kept a day.
void Favicon(Context*, const HttpRequest&, const Args&, HttpResponse* res) {
  res->AddHeader("Cache-Control", "public, max-age=86400");
  res->Set(200, "image/x-icon", FaviconIco());
}

// The rows of this file's routes (route_kit.h).
// clang-format off
constexpr Route kBoardsRows[] = {
    {.method = "GET", .pattern = "/", .handle = BoardsPage, .cached = true},
    {.method = "GET", .pattern = "/api/boards", .handle = AllBoards, .cached = true},
    {.method = "GET", .pattern = "/api/boards/*/*", .handle = OneBoard, .cached = true,
     .params = "limit offset name"},
    {.method = "GET", .pattern = "/api/boards/*/*/keys", .handle = KeysBoard, .cached = true,
     .params = "limit offset name"},
    {.method = "GET", .pattern = "/boards/*/*", .handle = ModeBoardPage, .cached = true,
     .params = "limit offset name"},
    {.method = "GET", .pattern = "/boards/*/*/keys", .handle = KeysBoardPage, .cached = true,
     .params = "limit offset name"},
    {.method = "GET", .pattern = "/feed.atom", .handle = Feed, .cached = true, .by_host = true},
    {.method = "GET", .pattern = "/favicon.ico", .handle = Favicon, .at_once = true,
     .needs_database = false},
};
// clang-format on

}  // namespace

std::span<const Route> BoardsRoutes() { return kBoardsRows; }

}  // namespace board
