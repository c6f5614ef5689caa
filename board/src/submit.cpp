#include "submit.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "request_parse.h"
#include "sha256.h"

namespace board {

void LogSubmission(const std::string& client, const Outcome& o) {
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

}  // namespace board
