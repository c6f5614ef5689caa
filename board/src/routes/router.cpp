// The router: the route table, the request matched to its row, and what happens around
// a handler (answers kept in memory, posts' checks, the generation after a store).
#include "routes/router.h"

#include <string_view>

#include "http/board_hosts.h"
#include "http/content_choice.h"
#include "ops/health.h"
#include "ops/logs.h"
#include "ops/metrics.h"
#include "pages/compress.h"
#include "routes/cache_key.h"
#include "routes/route_kit.h"
#include "routes/routes.h"

namespace board {

namespace {

// Whether the path fits the pattern, segment by segment; fills the '*' segments.
bool Match(std::string_view pattern, std::string_view path, Args* args) {
  args->clear();
  for (;;) {
    size_t p = pattern.find('/', 1), q = path.find('/', 1);
    std::string_view want = pattern.substr(0, p), got = path.substr(0, q);
    if (want == "/*") {
      if (got.empty() || got[0] != '/') return false;
      args->emplace_back(got.substr(1));
    } else if (want != got) {
      return false;
    }
    if (p == std::string_view::npos || q == std::string_view::npos)
      return p == std::string_view::npos && q == std::string_view::npos;
    pattern.remove_prefix(p);
    path.remove_prefix(q);
  }
}

void NoRoute(const HttpRequest& req, bool path_known, HttpResponse* res) {
  if (!path_known) return SendError(res, 404, "not found");
  std::string allow;
  Args args;
  for (const Route& route : AllRoutes())
    if (Match(route.pattern, req.path, &args))
      allow += std::string(allow.empty() ? "" : ", ") + route.method;
  res->AddHeader("Allow", allow);
  SendError(res, 405, "method not allowed");
}

// After a route that may have stored something, the generation is read at once, so that
// this server's next read shows it (the watch would see it a moment later). Returns the
// generation read, or -1 when the database did not answer.
int64_t RefreshGeneration(Context* ctx) {
  int64_t generation = 0;
  if (!ctx->store->Generation(&generation)) return -1;
  CacheAnnounce(&ctx->cache, generation);
  int64_t seen = ctx->generation.load();
  while (generation > seen && !ctx->generation.compare_exchange_weak(seen, generation)) {}
  ctx->database_ok.store(true);
  return generation;
}

// How long a submitter's answer waits for the pages read most to show its run.
constexpr int kWaitBuiltMs = 250;

}  // namespace

// Every resource's rows, gathered once.
const std::vector<Route>& AllRoutes() {
  static const std::vector<Route> all = [] {
    std::vector<Route> rows;
    for (std::span<const Route> part :
         {BoardsRoutes(), PlayersRoutes(), RunsRoutes(), SubmitRoutes(), HealthRoutes(),
          MetricsRoutes(), ClipRoutes(), ReviewRoutes(), RoomsRoutes()})
      rows.insert(rows.end(), part.begin(), part.end());
    return rows;
  }();
  return all;
}

// The route for this request: null when no route has its path (then *path_known is
// false) or none of them takes its method.
const Route* FindRoute(const HttpRequest& req, Args* args, bool* path_known) {
  const std::string_view method =
      req.method == "HEAD" ? std::string_view("GET") : std::string_view(req.method);
  *path_known = false;
  for (const Route& route : AllRoutes()) {
    if (!Match(route.pattern, req.path, args)) continue;
    *path_known = true;
    if (method == route.method) return &route;
  }
  return nullptr;
}

bool AnswerAtOnce(Context* ctx, const HttpRequest& req, HttpResponse* res,
                  std::shared_ptr<const CachedAnswer>* kept) {
  Args args;
  bool path_known = false;
  const Route* route = FindRoute(req, &args, &path_known);
  if (!route) {
    NoRoute(req, path_known, res);
    return true;
  }
  if (route->at_once) {
    route->handle(ctx, req, args, res);
    return true;
  }
  // With the database away, a worker asks it again (and answers 503 if it still is).
  if (!route->cached || !ctx->database_ok.load()) return false;
  auto answer = CacheFind(&ctx->cache, CacheKey(*ctx, req, *route), ctx->generation.load());
  if (!answer) return false;
  CountCache(true);
  const std::string* if_none_match = req.Header("if-none-match");
  const bool gzip = TakesGzip(req);
  if (kept && req.method == "GET" && SentWhole(*answer, if_none_match, gzip)) {
    *kept = std::move(answer);
    return true;
  }
  AnswerFromCache(*answer, if_none_match, gzip, res);
  return true;
}

// A post is taken from the board's own pages only, sent to one of the board's own
// names: another site's page (a browser says so in Sec-Fetch-Site, or with an Origin
// that is not one of the board's) may not submit runs in a visitor's name, and a page
// on a name that merely resolves to the board (DNS rebinding) sends that name as its
// Host. Programs send no Origin, and the Host of the URL they were given. Null when the
// post may be taken, else why not.
const char* RefusedPost(const Context& ctx, const HttpRequest& req) {
  if (req.passed) return nullptr;
  if (!IsBoardHost(ctx.origins, RequestHost(ctx, req)))
    return "this board takes runs under its own names only (the operator lists them with "
           "--public-url)";
  const char* cross = "a run is submitted from this board's own pages, not another site's";
  const std::string* site = req.Header("sec-fetch-site");
  if (site && *site != "same-origin" && *site != "none") return cross;
  const std::string* origin = req.Header("origin");
  if (origin && !IsBoardOrigin(ctx.origins, *origin)) return cross;
  return nullptr;
}

void HandleRequest(Context* ctx, const HttpRequest& req, HttpResponse* res) {
  Args args;
  bool path_known = false;
  const Route* route = FindRoute(req, &args, &path_known);
  if (!route) return NoRoute(req, path_known, res);
  if (!route->cached && route->method == std::string_view("GET")) {
    if (route->needs_database && !ctx->database_ok.load() && RefreshGeneration(ctx) < 0)
      return DatabaseDown(ctx, res);
    route->handle(ctx, req, args, res);
    return CompressFor(TakesGzip(req), kGzipFast, res);
  }
  if (!route->cached) {
    // A post's answer may carry a key: nobody's to keep, whatever it says.
    res->AddHeader("Cache-Control", "no-store");
    if (const char* why = RefusedPost(*ctx, req)) {
      LogRefusal(req.id, req.client, 403, "forbidden", why, req.path);
      return SendError(res, 403, why);
    }
    // Counted before the drain is looked at, so that a drain starting now waits for it.
    ++ctx->posts_in_hand;
    if (ctx->draining.load()) {
      --ctx->posts_in_hand;
      res->AddHeader("Retry-After", "5");
      return SendError(res, 503, "the board is stopping; send it again in a moment");
    }
    route->handle(ctx, req, args, res);
    if (res->status < 300) {
      int64_t generation = RefreshGeneration(ctx);
      if (generation >= 0) CacheWaitBuilt(&ctx->cache, generation, kWaitBuiltMs);
    }
    --ctx->posts_in_hand;
    return CompressFor(TakesGzip(req), kGzipFast, res);
  }
  if (!ctx->database_ok.load() && RefreshGeneration(ctx) < 0) return DatabaseDown(ctx, res);
  int64_t generation = ctx->generation.load();
  std::string key = CacheKey(*ctx, req, *route);
  bool build = false;
  auto answer = CacheFind(&ctx->cache, key, generation, &build);
  CountCache(answer != nullptr);
  if (!answer) {
    HttpResponse fresh;
    route->handle(ctx, req, args, &fresh);
    if (fresh.status >= 500) {
      if (build) CacheGiveUp(&ctx->cache, key);
      *res = std::move(fresh);
      return;
    }
    answer = CacheKeep(&ctx->cache, key, generation, std::move(fresh));
  }
  AnswerFromCache(*answer, req.Header("if-none-match"), TakesGzip(req), res);
}

void BuildAhead(Context* ctx, const std::string& key, int64_t generation) {
  HttpRequest req;
  Args args;
  bool path_known = false;
  const Route* route = FromCacheKey(key, &req) ? FindRoute(req, &args, &path_known) : nullptr;
  if (!route || !route->cached) return CacheGiveUp(&ctx->cache, key);
  HttpResponse fresh;
  route->handle(ctx, req, args, &fresh);
  if (fresh.status >= 500) return CacheGiveUp(&ctx->cache, key);
  CacheKeep(&ctx->cache, key, generation, std::move(fresh));
}

}  // namespace board
