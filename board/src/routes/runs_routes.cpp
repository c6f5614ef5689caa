// The runs' routes: a shown run's JSON, replay, page, clip and still.
#include <sys/stat.h>

#include <cstdio>

#include "http/byte_range.h"
#include "http/request_parse.h"
#include "pages/render.h"
#include "pages/run_page.h"
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
  std::string path = ClipFile(ctx->clips, id, ext);
  FILE* file = !ctx->clips.dir.empty() ? fopen(path.c_str(), "rb") : nullptr;
  if (!file) return SendError(res, 404, "the clip is not ready");
  struct stat st {};
  fstat(fileno(file), &st);
  std::string etag = "\"" + std::to_string(st.st_size) + "-" + std::to_string(st.st_mtime) + "\"";
  res->AddHeader("ETag", etag);
  res->AddHeader("Cache-Control", "public, max-age=86400");
  const std::string* match = req.Header("if-none-match");
  if (match && *match == etag) {
    fclose(file);
    return res->Set(304, type, "");
  }
  fclose(file);
  // Streamed by the transport from the file: a flood of requests for a large clip costs
  // a descriptor and a buffer each, not the clip's size each.
  res->AddHeader("Accept-Ranges", "bytes");
  res->Set(200, type, "");
  res->file = path;
  const std::string* range = req.Header("range");
  const std::string* if_range = req.Header("if-range");
  if (!range || (if_range && *if_range != etag)) return;  // a changed file goes whole
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  const ByteRange part = ParseByteRange(*range, size);
  if (part.kind == ByteRange::kUnsatisfiable) {
    res->file.clear();
    res->headers.clear();  // not the clip's own: kept by no cache
    res->AddHeader("Content-Range", "bytes */" + std::to_string(size));
    return SendError(res, 416, "the range asked for is past the end of the file");
  }
  if (part.kind != ByteRange::kPart) return;
  res->status = 206;
  res->file_first = part.first;
  res->file_length = part.length;
  res->AddHeader("Content-Range", "bytes " + std::to_string(part.first) + "-" +
                                      std::to_string(part.first + part.length - 1) + "/" +
                                      std::to_string(size));
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
