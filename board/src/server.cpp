#include "server.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "board_watch.h"
#include "context.h"
#include "http/http_server.h"
#include "ops/health.h"
#include "ops/logs.h"
#include "routes/routes.h"
#include "verify/refile.h"

namespace board {

namespace {

// SIGTERM drains: the posts in hand (their verifications, waiting or running) are
// answered for up to kDrainMs while new ones are refused; a second SIGTERM or SIGINT ends
// the drain at once. Then stopping answers what is left within kStopGraceMs (503 for a
// verification), and the process ends whatever is left at kStopHardMs.
constexpr int kDrainMs = 30000;
constexpr int kStopGraceMs = 3500;
constexpr int kStopHardMs = 4500;

// Waits until the drain is done, its limit passes or another stop signal comes.
void Drain(Context* ctx, const sigset_t& stop_signals) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrainMs);
  const timespec step{0, 100 * 1000 * 1000};
  while (!Drained(*ctx) && std::chrono::steady_clock::now() < end) {
    if (sigtimedwait(&stop_signals, nullptr, &step) > 0) {
      fprintf(stderr, "zumble-board: stopping at once\n");
      return;
    }
  }
  if (!Drained(*ctx))
    fprintf(stderr, "zumble-board: drained for %d s; stopping\n", kDrainMs / 1000);
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

  // A server killed outright may have left replays behind (older servers wrote them to
  // files; this one never names one).
  RemoveStaleReplays(options.verifier.work_dir);
  LogFormat format = LogFormat::kText;
  ParseLogFormat(options.log_format, &format);
  SetLogFormat(format);
  SetAccessLog(options.access_log);

  std::string error;
  std::unique_ptr<Store> store = OpenStore(options.db, options.connections, &error);
  BoardWatch watch;
  if (store) watch.store = OpenStore(options.db, 1, &error);
  if (!store || !watch.store) {
    fprintf(stderr, "zumble-board: %s\n", error.c_str());
    return 1;
  }
  // Names folded by an older server are folded again before anyone is served (once
  // more if another server was doing the same).
  std::vector<std::string> told;
  if (!store->FoldStoredNames(&told) && !store->FoldStoredNames(&told)) {
    fprintf(stderr, "zumble-board: folding the stored names: %s\n", store->LastError().c_str());
    return 1;
  }
  for (const std::string& line : told) fprintf(stderr, "zumble-board: names: %s\n", line.c_str());
  Context ctx;
  ctx.options = &options;
  ctx.store = store.get();
  ctx.pool.slots = options.verifiers;
  ctx.pool.queue = options.queue;
  ctx.pool.share_seconds = options.verify_share_seconds;
  ctx.pool.refill_per_second = options.verify_share_seconds / 300;
  ctx.rate.burst = options.submit_burst;
  ctx.rate.per_second = options.submit_per_second;
  if (!OpenVerifierPool(&ctx.pool, &options.verifier)) {
    perror("zumble-board: eventfd");
    return 1;
  }
  watch.cache = &ctx.cache;
  watch.generation = &ctx.generation;
  watch.database_ok = &ctx.database_ok;
  watch.build = [&ctx](const std::string& key, int64_t generation) {
    BuildAhead(&ctx, key, generation);
  };
  WatchOnce(&watch);
  StartWatch(&watch);

  int port = 0;
  auto http = StartHttp(&ctx, &port, &error);
  if (!http) {
    fprintf(stderr, "zumble-board: %s\n", error.c_str());
    StopWatch(&watch);
    return 1;
  }
  printf("zumble-board: serving http://%s:%d/ (schema %d, %d verifier%s)\n", options.listen.c_str(),
         port, store->SchemaVersion(), options.verifiers, options.verifiers == 1 ? "" : "s");
  fflush(stdout);
  NotifyReady();
  std::thread watchdog = StartWatchdog(&ctx, port);
  std::thread refile = StartRefile(&ctx);
  if (options.clips) StartClipQueue(&ctx.clips, options, ctx.store, &ctx.pool);

  std::thread stopper([&http, &ctx, stop_signals] {
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    if (signal_number == 0) return;  // woken to end
    fprintf(stderr, "zumble-board: draining (SIGTERM again stops at once)\n");
    StartDrain(&ctx);
    Drain(&ctx, stop_signals);
    fprintf(stderr, "zumble-board: stopping\n");
    // Whatever still runs at the hard limit (a database that does not answer) does not
    // keep the process: it ends, and what was not answered was not stored either.
    std::thread([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(kStopHardMs));
      fprintf(stderr, "zumble-board: stopped with work unfinished\n");
      _exit(0);
    }).detach();
    StopVerifiers(&ctx.pool);
    StopHttp(http.get(), kStopGraceMs);
  });
  RunHttp(http.get());
  if (stopper.joinable()) {
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
  }
  StopVerifiers(&ctx.pool);
  // A room's round checked on a thread of its own ends with its verifier stopped; the
  // context it uses must outlive it (the hard limit above ends the process regardless).
  while (ctx.posts_in_hand.load() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ctx.draining.store(true);  // ends the watchdog's thread
  if (watchdog.joinable()) watchdog.join();
  StopClipQueue(&ctx.clips);
  refile.join();
  http.reset();
  StopWatch(&watch);
  return 0;
}

}  // namespace board
