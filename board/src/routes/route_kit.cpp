// The helpers the routes share, and the error answers of routes.h.
#include "routes/route_kit.h"

#include <atomic>
#include <chrono>
#include <cstdio>

#include "http/board_hosts.h"
#include "http/request_parse.h"
#include "pages/render.h"
#include "routes/routes.h"

namespace board {

namespace {

constexpr int kPageRows = 20;  // rows of any other list, unless asked (limit=)
constexpr int kMaxLimit = 200;

}  // namespace

void SendJson(HttpResponse* res, int status, std::string body) {
  res->Set(status, "application/json", std::move(body));
}

// A list's page: limit=1..200 (20) and offset=0.. (0). False with the answer sent.
bool ReadPaging(const HttpRequest& req, int* limit, int64_t* offset, HttpResponse* res) {
  std::string limit_text, offset_text;
  req.Param("limit", &limit_text);
  req.Param("offset", &offset_text);
  *offset = 0;
  if (!ParseLimit(limit_text, kPageRows, kMaxLimit, limit)) {
    SendError(res, 400, "limit is a whole number from 1 to 200");
    return false;
  }
  if (!offset_text.empty() && !ParseCount(offset_text, int64_t{1} << 40, offset)) {
    SendError(res, 400, "offset is a whole number from 0");
    return false;
  }
  return true;
}

// The host a request named: the proxy's (the last X-Forwarded-Host) with --trust-proxy,
// else its Host.
std::string RequestHost(const Context& ctx, const HttpRequest& req) {
  const std::string* forwarded =
      ctx.options->trust_proxy ? req.Header("x-forwarded-host") : nullptr;
  std::string host = forwarded ? *forwarded : req.Header("host") ? *req.Header("host") : "";
  // The proxy's own value is the last one (as for X-Forwarded-For).
  host = host.substr(host.rfind(',') == std::string::npos ? 0 : host.rfind(',') + 1);
  while (!host.empty() && host.front() == ' ') host.erase(0, 1);
  return host;
}

// Where the feed's links start: the board's public URL, or the name it was asked by.
std::string FeedBase(const Context& ctx, const HttpRequest& req) {
  return LinkBase(ctx.origins, ctx.options->public_urls.size(), RequestHost(ctx, req));
}

void SendError(HttpResponse* res, int status, const std::string& reason) {
  SendJson(res, status, ErrorJson(status, reason));
  res->error = reason.empty() ? ErrorCode(status) : reason;
}

void DatabaseAway(HttpResponse* res) {
  res->AddHeader("Retry-After", "5");
  SendError(res, 503, "the database is not answering");
}

void DatabaseDown(Context* ctx, HttpResponse* res) {
  // Once a second at most: a database away under a flood of reads is one line, not one
  // per request.
  static std::atomic<int64_t> last_logged{0};
  int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                    std::chrono::steady_clock::now().time_since_epoch())
                    .count();
  int64_t last = last_logged.load();
  if (now != last && last_logged.compare_exchange_strong(last, now))
    fprintf(stderr, "zumble-board: database: %s\n", ctx->store->LastError().c_str());
  DatabaseAway(res);
}

}  // namespace board
