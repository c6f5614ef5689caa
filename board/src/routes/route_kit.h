// What the routes' files share: the row of the route table, each resource's rows, and
// the helpers most routes answer with (JSON, a list's paging, the host asked).
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "context.h"
#include "http/http_types.h"

namespace board {

using Args = std::vector<std::string>;  // the path segments a route's '*'s matched

using RouteHandler = void(Context* ctx, const HttpRequest& req, const Args& args,
                          HttpResponse* res);

// A row of the route table. Each resource's file lists its own rows at its end, by name:
//   {.method = "GET", .pattern = "/runs/*", .handle = RunPage}
struct Route {
  const char* method = "GET";
  const char* pattern = "";  // '*' stands for one path segment
  RouteHandler* handle = nullptr;
  bool cached = false;         // a GET whose answer changes only when a run is stored: kept in
                               // memory and built again when one is (routes.h)
  bool by_host = false;        // a cached answer that names the board by the host asked (the
                               // feed's links): kept for each host
  bool at_once = false;        // answered on the thread that read the request: a handler that
                               // never blocks (the health checks, ops/health.h)
  const char* params = "";     // the query's parameters the route reads (space-separated): a
                               // cached answer is kept under these alone, so any other query
                               // string is the same answer, not a new one to keep
  bool needs_database = true;  // a GET answered 503 while the database is away; false for
                               // what the operator reads then too (the metrics)
};

// What most routes answer with: a JSON body, a list's page (limit= and offset=, false
// with a 400 sent), the host a request named, and where the feed's links start.
void SendJson(HttpResponse* res, int status, std::string body);
bool ReadPaging(const HttpRequest& req, int* limit, int64_t* offset, HttpResponse* res);
std::string RequestHost(const Context& ctx, const HttpRequest& req);
std::string FeedBase(const Context& ctx, const HttpRequest& req);

// Each resource's rows (boards_routes.cpp, players_routes.cpp, runs_routes.cpp,
// submit_routes.cpp), which the router reads in this order.
std::span<const Route> BoardsRoutes();
std::span<const Route> PlayersRoutes();
std::span<const Route> RunsRoutes();
std::span<const Route> SubmitRoutes();
std::span<const Route> MetricsRoutes();  // metrics_routes.cpp
std::span<const Route> ClipRoutes();     // clip_routes.cpp
std::span<const Route> ReviewRoutes();   // review_routes.cpp
std::span<const Route> RoomsRoutes();    // rooms_routes.cpp

}  // namespace board
