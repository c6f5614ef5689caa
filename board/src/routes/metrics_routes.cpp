// GET /metrics: the board's metrics in Prometheus' text format, for the operator's own
// addresses only (loopback, or those of --metrics-from), since they reveal its load.
#include "routes/metrics_routes.h"

#include <mutex>

#include "ops/address_range.h"
#include "ops/metrics.h"
#include "routes/route_kit.h"
#include "routes/router.h"
#include "routes/routes.h"

namespace board {

namespace {

bool MayReadMetrics(const ServerOptions& options, const std::string& client) {
  std::vector<AddressRange> ranges;
  for (const std::string& text : options.metrics_from) ParseAddressRanges(text, &ranges);
  if (options.metrics_from.empty()) ranges = LoopbackRanges();
  return InAddressRanges(ranges, client);
}

MetricsNow ReadNow(Context* ctx) {
  MetricsNow now;
  {
    std::lock_guard<std::mutex> hold(ctx->pool.lock);
    now.verify_waiting = static_cast<int>(ctx->pool.waiting.size());
    now.verify_running = ctx->pool.running + (ctx->pool.extra_in_use ? 1 : 0);
    now.verify_slots = ctx->pool.slots;
  }
  {
    std::lock_guard<std::mutex> hold(ctx->clips.lock);
    now.clips_on = !ctx->clips.dir.empty();
    now.clips_waiting = static_cast<int64_t>(ctx->clips.waiting.size());
    // A run leaves `waiting` when its clip starts and `queued` when it is done.
    now.clips_making = static_cast<int64_t>(ctx->clips.queued.size() - ctx->clips.waiting.size());
  }
  {
    std::lock_guard<std::mutex> hold(ctx->cache.lock);
    now.cache_entries = static_cast<int64_t>(ctx->cache.answers.size());
    now.cache_bytes = static_cast<int64_t>(ctx->cache.bytes);
  }
  now.database_ok = ctx->database_ok.load();
  now.generation = ctx->generation.load();
  // Asked only while the database answers: a scrape never waits for one that is away.
  now.held_known = now.database_ok && ctx->store->HeldRuns(&now.held);
  StoreUsage usage = ctx->store->Usage();
  now.db_in_use = usage.in_use;
  now.db_size = usage.size;
  now.db_pool_timeouts = usage.timeouts;
  now.db_errors = usage.errors;
  return now;
}

// Another address is told there is no such page: nothing says the board has metrics.
void MetricsPage(Context* ctx, const HttpRequest& req, const Args&, HttpResponse* res) {
  if (!MayReadMetrics(*ctx->options, req.client)) return SendError(res, 404, "not found");
  res->AddHeader("Cache-Control", "no-store");
  res->Set(200, "text/plain; version=0.0.4; charset=utf-8", MetricsText(ReadNow(ctx)));
}

constexpr Route kMetricsRows[] = {
    {.method = "GET", .pattern = "/metrics", .handle = MetricsPage, .needs_database = false},
};

}  // namespace

std::span<const Route> MetricsRoutes() { return kMetricsRows; }

const char* RouteLabel(const HttpRequest& req) {
  Args args;
  bool path_known = false;
  const Route* route = FindRoute(req, &args, &path_known);
  return route ? route->pattern : "unmatched";
}

}  // namespace board
