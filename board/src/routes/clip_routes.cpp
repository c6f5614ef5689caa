#include <sys/stat.h>

#include <cstdint>
#include <cstdio>

#include "http/byte_range.h"
#include "http/request_parse.h"
#include "pages/render.h"
#include "routes/clip_file.h"
#include "routes/route_kit.h"
#include "routes/routes.h"

namespace board {

void SendClipFile(const HttpRequest& req, const std::string& path, const char* type,
                  const char* cache, HttpResponse* res) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return SendError(res, 404, "the clip is not ready");
  struct stat st {};
  fstat(fileno(file), &st);
  std::string etag = "\"" + std::to_string(st.st_size) + "-" + std::to_string(st.st_mtime) + "\"";
  res->AddHeader("ETag", etag);
  res->AddHeader("Cache-Control", cache);
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

namespace {

// What the board is doing about a shown run's clip: {"id", "clip": "queued" | "making" |
// "made" | "none"}. Never kept: it changes without a run being stored.
void ClipStateApi(Context* ctx, const HttpRequest&, const Args& args, HttpResponse* res) {
  int64_t id = 0, rank = 0;
  Run run;
  bool found = false;
  if (!ParseRunId(args[0], &id)) return SendError(res, 404, "no such run");
  if (!ctx->store->ShownRun(id, &run, &rank, &found)) return DatabaseDown(ctx, res);
  if (!found) return SendError(res, 404, "no such run");
  res->AddHeader("Cache-Control", "no-cache");
  SendJson(res, 200,
           "{\"id\":" + std::to_string(id) +
               ",\"clip\":" + JsonString(ClipStatus(&ctx->clips, id)) + "}\n");
}

// The rows of this file's routes (route_kit.h).
// clang-format off
constexpr Route kClipRows[] = {
    {.method = "GET", .pattern = "/api/runs/*/clip", .handle = ClipStateApi},
};
// clang-format on

}  // namespace

std::span<const Route> ClipRoutes() { return kClipRows; }

}  // namespace board
