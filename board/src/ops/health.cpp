#include "ops/health.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "context.h"
#include "routes/routes.h"

namespace board {

namespace {

void PlainAnswer(HttpResponse* res, int status, const std::string& text) {
  res->Set(status, "text/plain; charset=utf-8", text + "\n");
  // A proxy that kept an answer would hide the server's next state.
  res->AddHeader("Cache-Control", "no-store");
}

void Healthz(Context*, const HttpRequest&, const Args&, HttpResponse* res) {
  PlainAnswer(res, 200, "ok");
}

void Readyz(Context* ctx, const HttpRequest&, const Args&, HttpResponse* res) {
  const char* why = NotReady(ctx);
  if (!why) return PlainAnswer(res, 200, "ready");
  PlainAnswer(res, 503, std::string("not ready: ") + why);
}

constexpr Route kHealthRows[] = {
    {.method = "GET", .pattern = "/healthz", .handle = Healthz, .at_once = true},
    {.method = "GET", .pattern = "/readyz", .handle = Readyz, .at_once = true},
};

int64_t WatchdogNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Waits for the socket to be ready for `events` until the deadline; false at it.
bool WatchdogWait(int fd, short events, int64_t deadline) {
  for (;;) {
    int64_t left = deadline - WatchdogNowMs();
    if (left <= 0) return false;
    pollfd p{fd, events, 0};
    int n = poll(&p, 1, static_cast<int>(left));
    if (n > 0) return true;
    if (n == 0) return false;
  }
}

// Asks the server's own GET /healthz on loopback: true when it answered 200 in time.
bool AnswersItself(const std::string& listen, int port, int timeout_ms) {
  std::string host = listen;
  if (host.empty() || host == "0.0.0.0") host = "127.0.0.1";
  if (host == "::") host = "::1";
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  int fd = socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  int64_t deadline = WatchdogNowMs() + timeout_ms;
  bool ok =
      fd >= 0 && (connect(fd, found->ai_addr, found->ai_addrlen) == 0 || errno == EINPROGRESS);
  freeaddrinfo(found);
  const std::string ask =
      "GET /healthz HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
  size_t sent = 0;
  while (ok && sent < ask.size()) {
    ok = WatchdogWait(fd, POLLOUT, deadline);
    ssize_t n = ok ? send(fd, ask.data() + sent, ask.size() - sent, MSG_NOSIGNAL) : -1;
    if (n > 0)
      sent += static_cast<size_t>(n);
    else if (n < 0 && errno != EAGAIN)
      ok = false;
  }
  char head[64] = {};
  size_t got = 0;
  while (ok && got < 12) {
    ok = WatchdogWait(fd, POLLIN, deadline);
    ssize_t n = ok ? recv(fd, head + got, sizeof head - 1 - got, 0) : -1;
    if (n > 0)
      got += static_cast<size_t>(n);
    else if (n == 0 || errno != EAGAIN)
      ok = false;
  }
  if (fd >= 0) close(fd);
  return ok && strncmp(head, "HTTP/1.1 200", 12) == 0;
}

}  // namespace

const char* NotReady(Context* ctx) {
  if (ctx->draining.load()) return "draining";
  if (!ctx->database_ok.load()) return "the database does not answer";
  const std::string& game = ctx->options->verifier.zumble;
  if (access(game.c_str(), X_OK) != 0) return "the game that verifies cannot be run";
  VerifierPool& pool = ctx->pool;
  std::lock_guard<std::mutex> hold(pool.lock);
  if (pool.stopping) return "the verifiers are stopping";
  if (static_cast<int>(pool.waiting.size()) >= pool.queue && pool.running >= pool.slots)
    return "every verifier is busy and the queue is full";
  return nullptr;
}

std::span<const Route> HealthRoutes() { return kHealthRows; }

void StartDrain(Context* ctx) {
  ctx->draining.store(true);
  sd_notify(0, "STOPPING=1");
}

bool Drained(const Context& ctx) { return ctx.posts_in_hand.load() == 0; }

void NotifyReady() { sd_notify(0, "READY=1"); }

std::thread StartWatchdog(Context* ctx, int port) {
  uint64_t usec = 0;
  if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0) return {};
  const int interval_ms = static_cast<int>(usec / 2000);
  const int timeout_ms = interval_ms / 2 > 1000 ? interval_ms / 2 : 1000;
  return std::thread([ctx, port, interval_ms, timeout_ms] {
    const std::string listen = ctx->options->listen;
    while (!ctx->draining.load()) {
      int64_t next = WatchdogNowMs() + interval_ms;
      if (AnswersItself(listen, port, timeout_ms))
        sd_notify(0, "WATCHDOG=1");
      else
        fprintf(stderr, "zumble-board: the watchdog's /healthz was not answered in %d ms\n",
                timeout_ms);
      // Short steps, so that the drain ends it soon.
      while (!ctx->draining.load() && WatchdogNowMs() < next)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
}

}  // namespace board
