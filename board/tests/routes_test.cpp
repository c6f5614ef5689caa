// The route table and the router without a database: every row is found by its own
// path, the rows' marks agree with what the router does with them, a path or method no
// row takes is answered at once (404, 405 with Allow), and an answer's cache key gives
// back the request the builder makes it again from.
#include "routes/routes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "context.h"
#include "http/room_relay.h"
#include "routes/cache_key.h"
#include "routes/router.h"

namespace board {
namespace {

HttpRequest Request(std::string method, std::string path, std::string query = "") {
  HttpRequest req;
  req.method = std::move(method);
  req.path = std::move(path);
  req.query = std::move(query);
  req.headers = {{"host", "127.0.0.1:8080"}};
  return req;
}

// The row's pattern with each '*' given as `segment`.
std::string PathOf(const Route& route, const std::string& segment) {
  std::string path;
  for (const char* c = route.pattern; *c; ++c) path += *c == '*' ? segment : std::string(1, *c);
  return path;
}

std::string HeaderOf(const HttpResponse& res, const std::string& name) {
  for (const auto& [key, value] : res.headers)
    if (key == name) return value;
  return "";
}

struct RouterContext {
  ServerOptions options;
  Context ctx;
  RouterContext() {
    ctx.options = &options;
    ctx.origins = BoardOrigins({}, 8080);
  }
};

TEST(BoardRoutes, RowsAgreeWithTheRouter) {
  const std::vector<Route>& rows = AllRoutes();
  ASSERT_FALSE(rows.empty());
  std::set<std::pair<std::string, std::string>> seen;
  for (const Route& row : rows) {
    SCOPED_TRACE(std::string(row.method) + " " + row.pattern);
    const std::string method = row.method;
    EXPECT_TRUE(method == "GET" || method == "POST");
    EXPECT_EQ(row.pattern[0], '/');
    EXPECT_NE(row.handle, nullptr);
    // Only a GET's answer is kept; a post's answer may carry a key.
    if (row.cached) {
      EXPECT_EQ(method, "GET");
    }
    // An answer kept per host is a kept answer.
    if (row.by_host) {
      EXPECT_TRUE(row.cached);
    }
    EXPECT_TRUE(seen.insert({method, row.pattern}).second) << "two rows of one route";
  }
}

// With several servers, a request about a room that another server holds is passed to
// it: every route about one room, and nothing else, names the room.
TEST(BoardRoutes, RoomRoutesNameTheirRoom) {
  for (const Route& row : AllRoutes()) {
    std::string path = row.pattern;
    for (size_t star; (star = path.find('*')) != std::string::npos;)
      path.replace(star, 1, "3fa2c41b");
    const bool about_a_room = path.rfind("/api/rooms/", 0) == 0 || path.rfind("/rooms/", 0) == 0;
    EXPECT_EQ(RoomOfPath(path), about_a_room ? "3fa2c41b" : "") << row.method << " " << row.pattern;
  }
  EXPECT_EQ(RoomOfPath("/api/rooms/3fa2c41b/live"), "3fa2c41b");  // the live link
  for (const std::string& path :
       std::vector<std::string>{"/api/rooms", "/api/rooms/", "/rooms//live", "/api/rooms/../runs",
                                "/rooms/a.b", "/api/roomsy/ab", "/rooms/" + std::string(65, 'a')})
    EXPECT_EQ(RoomOfPath(path), "") << path;
}

TEST(BoardRoutes, EveryRowIsFoundByItsOwnPath) {
  for (const Route& row : AllRoutes()) {
    SCOPED_TRACE(std::string(row.method) + " " + row.pattern);
    const std::string path = PathOf(row, "17");
    Args args;
    bool known = false;
    EXPECT_EQ(FindRoute(Request(row.method, path), &args, &known), &row);
    EXPECT_TRUE(known);
    size_t stars = 0;
    for (const char* c = row.pattern; *c; ++c) stars += *c == '*';
    EXPECT_EQ(args, Args(stars, "17"));
    if (row.method == std::string("GET")) {
      EXPECT_EQ(FindRoute(Request("HEAD", path), &args, &known), &row);
    }
    // One segment more or a trailing slash is another path, which no row has here.
    for (const std::string& other : {path + "/x", path + "/"}) {
      const Route* found = FindRoute(Request(row.method, other), &args, &known);
      EXPECT_TRUE(found == nullptr || found->pattern != std::string(row.pattern)) << other;
    }
  }
}

TEST(BoardRoutes, UnknownPathsAndMethodsAnsweredAtOnce) {
  RouterContext rc;
  struct Case {
    const char* method;
    const char* path;
    int status;
    const char* allow;
    // clang-format off
  } cases[] = {
      {"GET", "/nothing/here", 404, ""},
      {"GET", "/api/runs/5/replay/more", 404, ""},
      {"POST", "/nothing", 404, ""},
      {"GET", "/api/runs", 405, "POST"},
      {"HEAD", "/submit", 405, "POST"},
      {"POST", "/", 405, "GET"},
      {"DELETE", "/api/runs/5", 405, "GET"},
      {"PUT", "/feed.atom", 405, "GET"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.path);
    HttpResponse res;
    ASSERT_TRUE(AnswerAtOnce(&rc.ctx, Request(c.method, c.path), &res));
    EXPECT_EQ(res.status, c.status);
    EXPECT_EQ(res.content_type, "application/json");
    EXPECT_EQ(HeaderOf(res, "Allow"), c.allow);
  }
  // A route that needs the database is left to a worker while the database is not known
  // to answer; a post, or a page made for each request, always is.
  for (const char* path : {"/", "/api/boards", "/runs/5"}) {
    HttpResponse res;
    EXPECT_FALSE(AnswerAtOnce(&rc.ctx, Request("GET", path), &res)) << path;
  }
  HttpResponse post;
  rc.ctx.database_ok = true;
  EXPECT_FALSE(AnswerAtOnce(&rc.ctx, Request("POST", "/api/runs"), &post));
}

TEST(BoardRoutes, KeptAnswersServedByTheirKey) {
  RouterContext rc;
  rc.ctx.database_ok = true;
  rc.ctx.generation = 3;
  HttpRequest req = Request("GET", "/api/players/Ann", "limit=5");
  Args args;
  bool known = false;
  const Route* route = FindRoute(req, &args, &known);
  ASSERT_NE(route, nullptr);
  HttpResponse made;
  made.Set(200, "application/json", "{\"name\":\"Ann\"}");
  auto kept = CacheKeep(&rc.ctx.cache, CacheKey(rc.ctx, req, *route), 3, made);
  ASSERT_NE(kept, nullptr);

  HttpResponse res;
  ASSERT_TRUE(AnswerAtOnce(&rc.ctx, req, &res));
  EXPECT_EQ(res.status, 200);
  EXPECT_EQ(res.body, made.body);
  EXPECT_EQ(HeaderOf(res, "ETag"), kept->etag);
  HttpRequest again = req;
  again.headers.push_back({"if-none-match", kept->etag});
  HttpResponse not_modified;
  ASSERT_TRUE(AnswerAtOnce(&rc.ctx, again, &not_modified));
  EXPECT_EQ(not_modified.status, 304);
  EXPECT_TRUE(not_modified.body.empty());
  // Another page of the list, or another player, is not that answer.
  HttpResponse other;
  EXPECT_FALSE(AnswerAtOnce(&rc.ctx, Request("GET", "/api/players/Ann", "limit=6"), &other));
  EXPECT_FALSE(AnswerAtOnce(&rc.ctx, Request("GET", "/api/players/Bob", "limit=5"), &other));
  // A kept answer from before the board moved on is not given.
  rc.ctx.generation = 4;
  EXPECT_FALSE(AnswerAtOnce(&rc.ctx, req, &other));
}

TEST(BoardRoutes, CacheKeysGiveBackTheirRequest) {
  RouterContext rc;
  for (const Route& row : AllRoutes()) {
    if (!row.cached) continue;
    SCOPED_TRACE(row.pattern);
    // A decoded path may hold a '?' and spaces of its own.
    HttpRequest req =
        Request("GET", PathOf(row, "New?x y"), "limit=5&name=A%20b&review=t%2Bk&junk=2");
    req.headers = {{"host", "board.example:8080"}};
    const std::string key = CacheKey(rc.ctx, req, row);
    HttpRequest built;
    ASSERT_TRUE(FromCacheKey(key, &built));
    EXPECT_EQ(built.method, "GET");
    EXPECT_EQ(built.path, req.path);
    // The parameters the route reads, as it reads them; no other.
    for (const char* name : {"limit", "name", "review", "junk"}) {
      std::string asked, rebuilt;
      const bool read = std::string_view(row.params).find(name) != std::string_view::npos;
      EXPECT_EQ(built.Param(name, &rebuilt), read && req.Param(name, &asked)) << name;
      EXPECT_EQ(rebuilt, read ? asked : "") << name;
    }
    // Parameters of a client's own, another spelling of one, and its order are one key.
    HttpRequest other = Request("GET", req.path, "junk=1&review=t%2bk&name=A+b&li%6Dit=5&x=%ZZ");
    other.headers = req.headers;
    EXPECT_EQ(CacheKey(rc.ctx, other, row), key);
    Args args;
    bool known = false;
    EXPECT_EQ(FindRoute(built, &args, &known), &row);
    // The builder's answer is kept under the key it was asked for.
    EXPECT_EQ(CacheKey(rc.ctx, built, row), key);
    if (row.by_host) {
      EXPECT_EQ(key.rfind("@http://board.example:8080 ", 0), 0u) << key;
    }
  }
  // The '?' of a path and the query's are two keys.
  Args args;
  bool known = false;
  HttpRequest in_path = Request("GET", "/api/players/New?x");
  HttpRequest in_query = Request("GET", "/api/players/New", "x");
  const Route* route = FindRoute(in_path, &args, &known);
  ASSERT_NE(route, nullptr);
  EXPECT_NE(CacheKey(rc.ctx, in_path, *route), CacheKey(rc.ctx, in_query, *route));
  HttpRequest broken;
  for (const char* key : {"", "5 /api", "x /api?", "@http://h/api?", "99 /api?"})
    EXPECT_FALSE(FromCacheKey(key, &broken)) << key;
}

TEST(BoardRoutes, FeedKeyFollowsThePublicUrl) {
  // With a public URL, the feed's links start there whatever name the board was asked
  // by, and the builder's request (asked by that host) makes the same key.
  RouterContext rc;
  rc.options.public_urls = {"https://board.example.org"};
  rc.ctx.origins = BoardOrigins(rc.options.public_urls, 8080);
  Args args;
  bool known = false;
  HttpRequest req = Request("GET", "/feed.atom");
  const Route* feed = FindRoute(req, &args, &known);
  ASSERT_NE(feed, nullptr);
  ASSERT_TRUE(feed->by_host);
  const std::string key = CacheKey(rc.ctx, req, *feed);
  EXPECT_EQ(key.rfind("@https://board.example.org ", 0), 0u) << key;
  HttpRequest built;
  ASSERT_TRUE(FromCacheKey(key, &built));
  EXPECT_EQ(CacheKey(rc.ctx, built, *feed), key);
}

}  // namespace
}  // namespace board
