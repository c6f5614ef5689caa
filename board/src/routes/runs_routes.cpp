// The runs' routes: a shown run's JSON, replay, page, clip and still.
#include <sys/stat.h>

#include <cstdio>

#include "http/request_parse.h"
#include "pages/render.h"
#include "pages/run_page.h"
#include "routes/clip_file.h"
#include "routes/route_kit.h"
#include "routes/routes.h"
#include "trust/digest.h"
#include "trust/keys.h"

namespace board {

namespace {

// The shown run a path's ID names, and its place on its board; false with the answer
// (404, or the database down) given.
bool FindShownRun(Context* ctx, const std::string& text, int64_t* id, Run* run, int64_t* rank,
                  HttpResponse* res) {
  bool found = false;
  if (!ParseRunId(text, id)) return SendError(res, 404, "no such run"), false;
  if (!ctx->store->ShownRun(*id, run, rank, &found)) return DatabaseDown(ctx, res), false;
  if (!found) return SendError(res, 404, "no such run"), false;
  return true;
}

// A shown run: its fields and where it stands on its board (the page's viewer says
// whose run it watches).
void RunApi(Context* ctx, const HttpRequest&, const Args& args, HttpResponse* res) {
  int64_t id = 0, rank = 0;
  Run run;
  if (!FindShownRun(ctx, args[0], &id, &run, &rank, res)) return;
  SendJson(res, 200, RankedRunJson(run, rank));
}

// A shown run's replay; with review=TOKEN (from zumble-board admin), any run's.
void RunReplay(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res) {
  int64_t id = 0;
  if (!ParseRunId(args[0], &id)) return SendError(res, 404, "no such run");
  std::string token, secret;
  bool review = req.Param("review", &token);
  if (review && !ctx->store->BoardSecret(&secret)) return DatabaseDown(ctx, res);
  if (review && !SameSecret(token, ReviewToken(secret, id)))
    return SendError(res, 404, "no such run");
  std::string bytes;
  bool found = false;
  if (!ctx->store->Replay(id, review, &bytes, &found)) return DatabaseDown(ctx, res);
  if (!found) return SendError(res, 404, "no such run");
  res->AddHeader("Content-Disposition",
                 "attachment; filename=\"zumble-run-" + std::to_string(id) + ".zrp\"");
  // An operator's look at a run not on the board is nobody else's to keep.
  res->AddHeader("Cache-Control",
                 review ? "private, no-store" : "public, max-age=31536000, immutable");
  res->Set(200, "application/octet-stream", std::move(bytes));
}

// A shown run's page: made for each request, since its clip may be ready since the last.
void RunPage(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res) {
  int64_t id = 0, rank = 0;
  Run run;
  if (!FindShownRun(ctx, args[0], &id, &run, &rank, res)) return;
  struct stat st {};
  bool still = stat(ClipFile(ctx->clips, id, "png").c_str(), &st) == 0;
  res->AddHeader("Cache-Control", "no-cache");
  res->Set(200, "text/html; charset=utf-8",
           RunPageHtml(run, rank, FeedBase(*ctx, req), ClipStateOf(&ctx->clips, id), still));
}

// A shown run's clip or still as the queue made it: whole, or the one part a Range asks
// (a video element seeks so, and some browsers play a video only so).
void RunFile(Context* ctx, const HttpRequest& req, const Args& args, const char* ext,
             const char* type, HttpResponse* res) {
  int64_t id = 0, rank = 0;
  Run run;
  if (!FindShownRun(ctx, args[0], &id, &run, &rank, res)) return;
  if (ctx->clips.dir.empty()) return SendError(res, 404, "the clip is not ready");
  SendClipFile(req, ClipFile(ctx->clips, id, ext), type, "public, max-age=86400", res);
}

void RunClip(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res) {
  RunFile(ctx, req, args, "webm", "video/webm", res);
}
void RunStill(Context* ctx, const HttpRequest& req, const Args& args, HttpResponse* res) {
  RunFile(ctx, req, args, "png", "image/png", res);
}

// The rows of this file's routes (route_kit.h).
// clang-format off
constexpr Route kRunsRows[] = {
    {.method = "GET", .pattern = "/api/runs/*", .handle = RunApi, .cached = true},
    {.method = "GET", .pattern = "/api/runs/*/replay", .handle = RunReplay, .cached = true, .params = "review"},
    // The page and the clip's files change when the clip is made, not when a run is stored.
    {.method = "GET", .pattern = "/runs/*", .handle = RunPage},
    {.method = "GET", .pattern = "/runs/*/clip.webm", .handle = RunClip},
    {.method = "GET", .pattern = "/runs/*/still.png", .handle = RunStill},
};
// clang-format on

}  // namespace

std::span<const Route> RunsRoutes() { return kRunsRows; }

}  // namespace board
