#include "routes.h"

#include <sys/stat.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <string_view>
#include <vector>

#include "http/board_hosts.h"
#include "http/http_parse.h"
#include "trust/keys.h"
#include "trust/name_fold.h"
#include "pages/render.h"
#include "pages/run_page.h"
#include "http/byte_range.h"
#include "http/request_parse.h"
#include "trust/digest.h"
#include "replay/core/replay_bounds.h"
#include "submit.h"

namespace board {

namespace {

constexpr int kBoardRows = 10;    // runs per mode on the front page and in /api/boards
constexpr int kPageRows = 20;     // rows of any other list, unless asked (limit=)
constexpr int kMaxLimit = 200;
constexpr int kFeedEntries = 20;

using Args = std::vector<std::string>;  // the path segments a route's '*'s matched

// A post is taken from the board's own pages only, sent to one of the board's own
// names: another site's page (a browser says so in Sec-Fetch-Site, or with an Origin
// that is not one of the board's) may not submit runs in a visitor's name, and a page
// on a name that merely resolves to the board (DNS rebinding) sends that name as its
// Host. Programs send no Origin, and the Host of the URL they were given. Null when the
// post may be taken, else why not.
std::string RequestHost(const Context& ctx, const HttpRequest& req);

const char* RefusedPost(const Context& ctx, const HttpRequest& req) {
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
  if (!ctx->store->Best(page->board.flies, page->board.speed, pace, page->limit, offset,
                        &rows)) {
    DatabaseDown(ctx, res);
    return false;
  }
  page->board.runs = std::move(rows.runs);
  page->board.total = rows.total;
  page->board.offset = offset;
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
  // A banned player, or one with nothing shown, has no page.
  if (!found || page->player.banned || (page->runs.total == 0 && offset == 0)) {
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
  struct stat st{};
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
  struct stat st{};
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

void AddRetryAfter(const Outcome& o, HttpResponse* res) {
  if (o.retry_after) res->AddHeader("Retry-After", o.retry_after);
  else if (o.retry_after_seconds > 0)
    res->AddHeader("Retry-After", std::to_string(o.retry_after_seconds));
}

// The key: "Authorization: Bearer KEY".
std::string KeyOf(const HttpRequest& req) {
  const std::string* auth = req.Header("authorization");
  const std::string bearer = "Bearer ";
  if (!auth || auth->compare(0, bearer.size(), bearer) != 0) return "";
  std::string key = auth->substr(bearer.size());
  while (!key.empty() && key.back() == ' ') key.pop_back();
  return key.size() <= 128 ? key : "";
}

void PostRun(Context* ctx, const HttpRequest& req, const Args&, HttpResponse* res) {
  const std::string* type = req.Header("content-type");
  if (type && StartsWithNoCase(*type, "multipart/form-data"))
    return SendError(res, 415, "multipart/form-data is the upload form's (POST /submit); "
                               "send the replay's bytes as the body here");
  Submission in;
  in.client = req.client;
  in.has_name = req.Param("name", &in.raw_name);
  in.key = KeyOf(req);
  in.body = req.body;
  Outcome o = Submit(ctx, in);
  LogSubmission(req.client, o);
  AddRetryAfter(o, res);
  SendJson(res, o.status, OutcomeJson(o));
}

// The page's upload form (multipart), answered with a page.
void PostForm(Context* ctx, const HttpRequest& req, const Args&, HttpResponse* res) {
  const FormField* name = req.Field("name");
  const FormField* key = req.Field("key");
  const FormField* replay = req.Field("replay");
  Submission in;
  in.client = req.client;
  in.has_name = name != nullptr;
  in.raw_name = name ? name->value : "";
  in.key = key && key->value.size() <= 128 ? key->value : "";
  while (!in.key.empty() && (in.key.back() == ' ' || in.key.back() == '\n' || in.key.back() == '\r'))
    in.key.pop_back();
  in.body = replay ? replay->value : "";
  Outcome o = Submit(ctx, in);
  LogSubmission(req.client, o);
  AddRetryAfter(o, res);
  bool on_board = o.status == 200 || o.status == 201;
  res->Set(o.status, "text/html; charset=utf-8",
           SubmitResultHtml(o.status, o.refusal.message, on_board ? &o.run : nullptr, o.rank,
                            o.key, o.refusal.code != "held"));
}

struct Route {
  const char* method;
  const char* pattern;   // '*' stands for one path segment
  void (*handle)(Context*, const HttpRequest&, const Args&, HttpResponse*);
  bool cached;           // a GET whose answer changes only when a run is stored
  bool by_host = false;  // its answer names the board by the host asked (the feed)
};

const Route kRoutes[] = {
    {"GET", "/", BoardsPage, true},
    {"GET", "/api/boards", AllBoards, true},
    {"GET", "/api/boards/*/*", OneBoard, true},
    {"GET", "/api/boards/*/*/keys", KeysBoard, true},
    {"GET", "/boards/*/*", ModeBoardPage, true},
    {"GET", "/boards/*/*/keys", KeysBoardPage, true},
    {"GET", "/players/*", PlayerPageHtml, true},
    {"GET", "/api/players/*", PlayerApi, true},
    {"GET", "/feed.atom", Feed, true, true},
    {"GET", "/api/runs/*", RunApi, true},
    {"GET", "/api/runs/*/replay", RunReplay, true},
    {"GET", "/runs/*", RunPage, false},
    {"GET", "/runs/*/clip.webm", RunClip, false},
    {"GET", "/runs/*/still.png", RunStill, false},
    {"POST", "/api/runs", PostRun, false},
    {"POST", "/submit", PostForm, false},
};

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

// The route for this request: null when no route has its path (then *path_known is
// false) or none of them takes its method.
const Route* FindRoute(const HttpRequest& req, Args* args, bool* path_known) {
  const std::string_view method =
      req.method == "HEAD" ? std::string_view("GET") : std::string_view(req.method);
  *path_known = false;
  for (const Route& route : kRoutes) {
    if (!Match(route.pattern, req.path, args)) continue;
    *path_known = true;
    if (method == route.method) return &route;
  }
  return nullptr;
}

void NoRoute(const HttpRequest& req, bool path_known, HttpResponse* res) {
  if (!path_known) return SendError(res, 404, "not found");
  std::string allow;
  Args args;
  for (const Route& route : kRoutes)
    if (Match(route.pattern, req.path, &args))
      allow += std::string(allow.empty() ? "" : ", ") + route.method;
  res->AddHeader("Allow", allow);
  SendError(res, 405, "method not allowed");
}

// The path's length first: a decoded path may hold a '?' of its own, so that
// /api/players/New%3Fx and /api/players/New?x are two keys. An answer that names the
// board by the host asked is kept for each (its links' start before the rest).
std::string CacheKey(const Context& ctx, const HttpRequest& req, const Route& route) {
  std::string key = std::to_string(req.path.size()) + " " + req.path + "?" + req.query;
  return route.by_host ? "@" + FeedBase(ctx, req) + " " + key : key;
}

// The GET request a key was made from, for the builder.
bool FromCacheKey(const std::string& key, HttpRequest* req) {
  std::string_view rest = key;
  if (!rest.empty() && rest[0] == '@') {
    // "@http://HOST[:PORT] ": asked by that host.
    size_t space = rest.find(' '), scheme = rest.find("://");
    if (space == std::string_view::npos || scheme == std::string_view::npos || scheme > space)
      return false;
    std::string host(rest.substr(scheme + 3, space - scheme - 3));
    req->headers = {{"host", host}, {"x-forwarded-host", host}};
    rest.remove_prefix(space + 1);
  }
  size_t space = rest.find(' ');
  int64_t length = 0;
  if (space == std::string_view::npos || !ParseCount(rest.substr(0, space), 1 << 20, &length) ||
      rest.size() < space + 1 + length + 1 || rest[space + 1 + length] != '?')
    return false;
  req->method = "GET";
  req->path = std::string(rest.substr(space + 1, length));
  req->query = std::string(rest.substr(space + 2 + length));
  return true;
}

// After a route that may have stored something, the generation is read at once, so that
// this server's next read shows it (the watch would see it a moment later). Returns the
// generation read, or -1 when the database did not answer.
int64_t RefreshGeneration(Context* ctx) {
  int64_t generation = 0;
  if (!ctx->store->Generation(&generation)) return -1;
  CacheAnnounce(&ctx->cache, generation);
  int64_t seen = ctx->generation.load();
  while (generation > seen && !ctx->generation.compare_exchange_weak(seen, generation)) {
  }
  ctx->database_ok.store(true);
  return generation;
}

// How long a submitter's answer waits for the pages read most to show its run.
constexpr int kWaitBuiltMs = 250;

}  // namespace

void SendError(HttpResponse* res, int status, const std::string& reason) {
  SendJson(res, status, ErrorJson(status, reason));
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
                    std::chrono::steady_clock::now().time_since_epoch()).count();
  int64_t last = last_logged.load();
  if (now != last && last_logged.compare_exchange_strong(last, now))
    fprintf(stderr, "zumble-board: database: %s\n", ctx->store->LastError().c_str());
  DatabaseAway(res);
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
  // With the database away, a worker asks it again (and answers 503 if it still is).
  if (!route->cached || !ctx->database_ok.load()) return false;
  auto answer = CacheFind(&ctx->cache, CacheKey(*ctx, req, *route), ctx->generation.load());
  if (!answer) return false;
  const std::string* if_none_match = req.Header("if-none-match");
  if (kept && req.method == "GET" && SentWhole(*answer, if_none_match)) {
    *kept = std::move(answer);
    return true;
  }
  AnswerFromCache(*answer, if_none_match, res);
  return true;
}

void HandleRequest(Context* ctx, const HttpRequest& req, HttpResponse* res) {
  Args args;
  bool path_known = false;
  const Route* route = FindRoute(req, &args, &path_known);
  if (!route) return NoRoute(req, path_known, res);
  if (!route->cached && route->method == std::string_view("GET")) {
    if (!ctx->database_ok.load() && RefreshGeneration(ctx) < 0) return DatabaseDown(ctx, res);
    return route->handle(ctx, req, args, res);
  }
  if (!route->cached) {
    // A post's answer may carry a key: nobody's to keep, whatever it says.
    res->AddHeader("Cache-Control", "no-store");
    if (const char* why = RefusedPost(*ctx, req)) return SendError(res, 403, why);
    route->handle(ctx, req, args, res);
    if (res->status < 300) {
      int64_t generation = RefreshGeneration(ctx);
      if (generation >= 0) CacheWaitBuilt(&ctx->cache, generation, kWaitBuiltMs);
    }
    return;
  }
  if (!ctx->database_ok.load() && RefreshGeneration(ctx) < 0) return DatabaseDown(ctx, res);
  int64_t generation = ctx->generation.load();
  std::string key = CacheKey(*ctx, req, *route);
  bool build = false;
  auto answer = CacheFind(&ctx->cache, key, generation, &build);
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
  AnswerFromCache(*answer, req.Header("if-none-match"), res);
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
