#include "server.h"

#include <httplib.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "modes.h"
#include "rate_limit.h"
#include "render.h"
#include "request_parse.h"
#include "sha256.h"
#include "store.h"

namespace board {

namespace {

constexpr int kBoardRows = 10;    // runs per mode on the page and in /api/boards
constexpr int kMaxLimit = 100;

// The page and the JSON of all sixteen boards, rebuilt only when the board's
// generation (bumped by every stored run, on any server) has moved.
struct BoardsCache {
  std::mutex lock;
  int64_t generation = -1;
  std::string json;
  std::string html;
};

struct Context {
  const ServerOptions* options;
  Store* store;
  VerifierPool pool;
  RateLimit rate;
  BoardsCache cache;
};

struct Outcome {
  int status = 500;
  std::string message;   // the reason of a refusal
  Run run;
  int64_t rank = 0;
  bool existed = false;
  const char* retry_after = nullptr;
};

void Log(const std::string& client, const Outcome& o) {
  char when[32];
  time_t now = time(nullptr);
  tm parts{};
  gmtime_r(&now, &parts);
  strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &parts);
  if (o.status < 300)
    fprintf(stderr, "%s %s %d run %lld %dx%d %lld ms\n", when, client.c_str(), o.status,
            static_cast<long long>(o.run.id), o.run.flies, o.run.speed,
            static_cast<long long>(o.run.time_ms));
  else
    fprintf(stderr, "%s %s %d %s\n", when, client.c_str(), o.status, o.message.c_str());
}

std::string ClientOf(const Context& ctx, const httplib::Request& req) {
  if (ctx.options->trust_proxy && req.has_header("X-Forwarded-For")) {
    std::string chain = req.get_header_value("X-Forwarded-For");
    size_t comma = chain.rfind(',');
    std::string last = comma == std::string::npos ? chain : chain.substr(comma + 1);
    while (!last.empty() && last.front() == ' ') last.erase(0, 1);
    if (!last.empty()) return last;
  }
  return req.remote_addr;
}

Outcome Submit(Context* ctx, const std::string& client, bool has_name,
               const std::string& raw_name, const std::string& body) {
  Outcome o;
  if (!TakeToken(&ctx->rate, client, std::chrono::steady_clock::now())) {
    o.status = 429;
    o.message = "too many submissions from this address; wait a little";
    o.retry_after = "10";
    return o;
  }
  std::string name;
  if (!has_name || !ParseName(raw_name, &name)) {
    o.status = 400;
    o.message = "a name is 1 to 16 letters, digits, spaces or - _ .";
    return o;
  }
  if (body.empty()) {
    o.status = 400;
    o.message = "no replay in the request";
    return o;
  }
  std::string hash = Sha256Hex(body);
  bool found = false;
  if (!ctx->store->FindByHash(hash, &o.run, &found)) {
    fprintf(stderr, "zumble-board: database: %s\n", ctx->store->LastError().c_str());
    o.message = "the database is not answering";
    return o;
  }
  if (!found) {
    Verdict v;
    if (!VerifyInPool(&ctx->pool, ctx->options->verifier, body, &v)) {
      o.status = 503;
      o.message = "the board is busy checking other runs; try again soon";
      o.retry_after = "5";
      return o;
    }
    if (v.kind != Verdict::kAccepted) {
      o.status = v.kind == Verdict::kRefused ? 422 : 500;
      o.message = v.reason;
      return o;
    }
    NewRun run{name, hash, body, v.flies, v.speed, v.time_ms, v.frames,
               static_cast<int64_t>(time(nullptr))};
    if (!ctx->store->Insert(run, &o.run, &found)) {
      fprintf(stderr, "zumble-board: database: %s\n", ctx->store->LastError().c_str());
      o.message = "the database is not answering";
      return o;
    }
  }
  // The same replay twice is one run: the first one's name and id stand.
  o.existed = found;
  if (!ctx->store->Rank(o.run, &o.rank)) {
    fprintf(stderr, "zumble-board: database: %s\n", ctx->store->LastError().c_str());
    o.message = "the database is not answering";
    return o;
  }
  o.status = found ? 200 : 201;
  return o;
}

bool LoadBoards(Context* ctx, std::vector<ModeBoard>* boards) {
  for (int flies : kFlies) {
    for (int speed : kSpeeds) {
      ModeBoard b{flies, speed, {}};
      if (!ctx->store->Best(flies, speed, kBoardRows, &b.runs)) return false;
      boards->push_back(std::move(b));
    }
  }
  return true;
}

// Fills json and html with the current boards; false when the database failed.
bool CurrentBoards(Context* ctx, std::string* json, std::string* html) {
  int64_t generation = 0;
  if (!ctx->store->Generation(&generation)) return false;
  {
    std::lock_guard<std::mutex> hold(ctx->cache.lock);
    if (ctx->cache.generation == generation) {
      if (json) *json = ctx->cache.json;
      if (html) *html = ctx->cache.html;
      return true;
    }
  }
  std::vector<ModeBoard> boards;
  if (!LoadBoards(ctx, &boards)) return false;
  std::string new_json = BoardsJson(boards);
  std::string new_html = BoardsHtml(boards);
  if (json) *json = new_json;
  if (html) *html = new_html;
  std::lock_guard<std::mutex> hold(ctx->cache.lock);
  // A slower reader must not put back an older board than one already cached.
  if (generation > ctx->cache.generation) {
    ctx->cache.generation = generation;
    ctx->cache.json = std::move(new_json);
    ctx->cache.html = std::move(new_html);
  }
  return true;
}

void SendJson(httplib::Response& res, int status, const std::string& body) {
  res.status = status;
  res.set_content(body, "application/json");
}

void DatabaseDown(Context* ctx, httplib::Response& res) {
  fprintf(stderr, "zumble-board: database: %s\n", ctx->store->LastError().c_str());
  SendJson(res, 503, ErrorJson("the database is not answering"));
}

void Routes(httplib::Server& svr, Context* ctx) {
  svr.Get("/", [ctx](const httplib::Request&, httplib::Response& res) {
    std::string html;
    if (!CurrentBoards(ctx, nullptr, &html)) return DatabaseDown(ctx, res);
    res.set_header("Content-Security-Policy",
                   "default-src 'self'; style-src 'unsafe-inline'; form-action 'self'");
    res.set_content(html, "text/html; charset=utf-8");
  });

  svr.Get("/api/boards", [ctx](const httplib::Request&, httplib::Response& res) {
    std::string json;
    if (!CurrentBoards(ctx, &json, nullptr)) return DatabaseDown(ctx, res);
    SendJson(res, 200, json);
  });

  svr.Get(R"(/api/boards/([^/]*)/([^/]*))", [ctx](const httplib::Request& req,
                                                   httplib::Response& res) {
    int64_t flies = 0, speed = 0;
    if (!ParseCount(req.matches[1].str(), 100000, &flies) ||
        !ParseCount(req.matches[2].str(), 100000, &speed) || !IsMode(flies, speed))
      return SendJson(res, 404, ErrorJson("no such board"));
    int limit = 0;
    if (!ParseLimit(req.get_param_value("limit"), kBoardRows, kMaxLimit, &limit))
      return SendJson(res, 400, ErrorJson("limit is a whole number from 1 to 100"));
    ModeBoard b{static_cast<int>(flies), static_cast<int>(speed), {}};
    if (!ctx->store->Best(b.flies, b.speed, limit, &b.runs)) return DatabaseDown(ctx, res);
    SendJson(res, 200, BoardJson(b) + "\n");
  });

  svr.Get(R"(/api/runs/([^/]*)/replay)", [ctx](const httplib::Request& req,
                                                httplib::Response& res) {
    int64_t id = 0;
    if (!ParseRunId(req.matches[1].str(), &id))
      return SendJson(res, 404, ErrorJson("no such run"));
    std::string bytes;
    bool found = false;
    if (!ctx->store->Replay(id, &bytes, &found)) return DatabaseDown(ctx, res);
    if (!found) return SendJson(res, 404, ErrorJson("no such run"));
    res.set_header("Content-Disposition",
                   "attachment; filename=\"zumble-run-" + std::to_string(id) + ".zrp\"");
    res.set_header("Cache-Control", "public, max-age=31536000, immutable");
    res.set_content(std::move(bytes), "application/octet-stream");
  });

  svr.Post("/api/runs", [ctx](const httplib::Request& req, httplib::Response& res) {
    std::string client = ClientOf(*ctx, req);
    Outcome o = Submit(ctx, client, req.has_param("name"), req.get_param_value("name"),
                       req.body);
    Log(client, o);
    if (o.retry_after) res.set_header("Retry-After", o.retry_after);
    SendJson(res, o.status,
             o.status < 300 ? AcceptedJson(o.run, o.rank, o.existed) : ErrorJson(o.message));
  });

  // The page's upload form (multipart), answered with a page.
  svr.Post("/submit", [ctx](const httplib::Request& req, httplib::Response& res) {
    std::string client = ClientOf(*ctx, req);
    bool has_name = req.has_file("name");
    std::string name = has_name ? req.get_file_value("name").content : "";
    std::string body = req.has_file("replay") ? req.get_file_value("replay").content : "";
    Outcome o = Submit(ctx, client, has_name, name, body);
    Log(client, o);
    res.status = o.status;
    if (o.retry_after) res.set_header("Retry-After", o.retry_after);
    res.set_content(SubmitResultHtml(o.status, o.message, o.status < 300 ? &o.run : nullptr,
                                     o.rank),
                    "text/html; charset=utf-8");
  });

  svr.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty()) return;
    const char* what = res.status == 413 ? "the replay is larger than this board takes"
                       : res.status == 404 ? "not found"
                                           : "the request was not understood";
    SendJson(res, res.status, ErrorJson(what));
  });

  svr.set_post_routing_handler([](const httplib::Request&, httplib::Response& res) {
    res.set_header("X-Content-Type-Options", "nosniff");
  });
}

}  // namespace

int Serve(const ServerOptions& options) {
  // SIGINT and SIGTERM are taken by one thread below; the verifier's children get the
  // default dispositions back before they start.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::string error;
  std::unique_ptr<Store> store = OpenStore(options.db, options.connections, &error);
  if (!store) {
    fprintf(stderr, "zumble-board: %s\n", error.c_str());
    return 1;
  }
  Context ctx{&options, store.get(), {}, {}, {}};
  ctx.pool.slots = options.verifiers;
  ctx.pool.queue = options.queue;
  ctx.rate.burst = options.submit_burst;
  ctx.rate.per_second = options.submit_per_second;

  httplib::Server svr;
  int threads = options.threads;
  svr.new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<size_t>(threads)); };
  svr.set_payload_max_length(options.max_body);
  svr.set_keep_alive_max_count(1000);
  svr.set_read_timeout(10, 0);
  svr.set_write_timeout(10, 0);
  if (!options.site.empty() && !svr.set_mount_point("/play", options.site)) {
    fprintf(stderr, "zumble-board: --site %s: not a folder\n", options.site.c_str());
    return 1;
  }
  Routes(svr, &ctx);
  // The library listens with a backlog of 5, which drops the SYNs of a crowd of clients
  // arriving together (each then waits a second or more to retry): keep the listening
  // socket and raise its backlog once it listens.
  int listen_fd = -1;
  svr.set_socket_options([&listen_fd](socket_t fd) {
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (listen_fd < 0) listen_fd = fd;
  });

  int port = options.port;
  if (port == 0) {
    port = svr.bind_to_any_port(options.listen);
  } else if (!svr.bind_to_port(options.listen, port)) {
    port = -1;
  }
  if (port > 0 && listen_fd >= 0) listen(listen_fd, 1024);
  if (port <= 0) {
    fprintf(stderr, "zumble-board: cannot listen on %s port %d\n", options.listen.c_str(),
            options.port);
    return 1;
  }
  printf("zumble-board: serving http://%s:%d/ (schema %d, %d verifier%s)\n",
         options.listen.c_str(), port, store->SchemaVersion(), options.verifiers,
         options.verifiers == 1 ? "" : "s");
  fflush(stdout);

  std::thread stopper([&svr, stop_signals] {
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    svr.stop();
  });
  bool ok = svr.listen_after_bind();
  // Stopped by a signal, or the listener failed: either way the stopper must end.
  if (stopper.joinable()) {
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
  }
  return ok ? 0 : 1;
}

}  // namespace board
