#include "server.h"

#include <httplib.h>
#include <signal.h>

#include <cctype>
#include <cstdio>
#include <thread>

#include "context.h"
#include "render.h"
#include "routes.h"

namespace board {

namespace {

std::string ClientOf(const ServerOptions& options, const httplib::Request& req) {
  if (options.trust_proxy && req.has_header("X-Forwarded-For")) {
    std::string chain = req.get_header_value("X-Forwarded-For");
    size_t comma = chain.rfind(',');
    std::string last = comma == std::string::npos ? chain : chain.substr(comma + 1);
    while (!last.empty() && last.front() == ' ') last.erase(0, 1);
    if (!last.empty()) return last;
  }
  return req.remote_addr;
}

// The library's request as the routes see it, and their answer back.
void Adapt(Context* ctx, const httplib::Request& req, httplib::Response& res) {
  HttpRequest r;
  r.method = req.method;
  r.path = req.path;
  size_t q = req.target.find('?');
  if (q != std::string::npos) r.query = req.target.substr(q + 1);
  for (const auto& h : req.headers) {
    std::string name = h.first;
    for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    r.headers.emplace_back(std::move(name), h.second);
  }
  r.body = req.body;
  for (const auto& f : req.files)
    r.form.push_back(FormField{f.second.name, f.second.filename, f.second.content_type,
                               f.second.content});
  r.client = ClientOf(*ctx->options, req);
  HttpResponse answer;
  HandleRequest(ctx, r, &answer);
  res.status = answer.status;
  for (auto& h : answer.headers) res.set_header(h.first.c_str(), h.second);
  res.set_content(std::move(answer.body), answer.content_type.c_str());
}

void Routes(httplib::Server& svr, Context* ctx) {
  auto adapt = [ctx](const httplib::Request& req, httplib::Response& res) { Adapt(ctx, req, res); };
  svr.Get(".*", adapt);
  svr.Post(".*", adapt);
  svr.Put(".*", adapt);
  svr.Delete(".*", adapt);
  svr.Patch(".*", adapt);
  svr.Options(".*", adapt);

  svr.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty()) return;
    const char* what = res.status == 413 ? "the replay is larger than this board takes"
                       : res.status == 404 ? "not found"
                                           : "the request was not understood";
    res.set_content(ErrorJson(res.status, what), "application/json");
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
  Context ctx;
  ctx.options = &options;
  ctx.store = store.get();
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
