#include "submit.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "client_address.h"
#include "disk_room.h"
#include "replay_cost.h"
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

namespace {

Outcome Refusal(int status, std::string message, const char* retry_after = nullptr) {
  Outcome o;
  o.status = status;
  o.message = std::move(message);
  o.retry_after = retry_after;
  return o;
}

// The store failed: a full disk says so, anything else is the database being away.
Outcome StoreFailed(Context* ctx) {
  std::string error = ctx->store->LastError();
  fprintf(stderr, "zumble-board: database: %s\n", error.c_str());
  if (IsDiskFull(error))
    return Refusal(507, "the board's disk is full; the run was not stored", "60");
  return Refusal(503, "the database is not answering", "5");
}

}  // namespace

Outcome Submit(Context* ctx, const std::string& client, bool has_name,
               const std::string& raw_name, const std::string& body) {
  const std::string address = AddressKey(client);
  if (!TakeToken(&ctx->rate, address, std::chrono::steady_clock::now()))
    return Refusal(429, "too many submissions from this address; wait a little", "10");
  std::string name;
  if (!has_name || !ParseName(raw_name, &name))
    return Refusal(400, "a name is 1 to 16 letters, digits, spaces or - _ .");
  if (body.empty()) return Refusal(400, "no replay in the request");
  std::string early = RefuseBeforeVerifying(body);
  if (!early.empty()) return Refusal(422, early);
  std::string hash = Sha256Hex(body);
  std::string refused;
  if (FindRefused(&ctx->refused, hash, &refused)) return Refusal(422, refused);

  Outcome o;
  bool found = false;
  if (!ctx->store->FindByHash(hash, &o.run, &found)) return StoreFailed(ctx);
  if (!found) {
    if (!RoomToStore(ctx->options->db, body.size()))
      return Refusal(507, "the board's disk is full; try again later", "60");
    Verdict v;
    int retry_after = 0;
    switch (VerifyInPool(&ctx->pool, ctx->options->verifier, address, body, &v, &retry_after)) {
      case PoolAnswer::kVerified:
        break;
      case PoolAnswer::kQueueFull:
        return Refusal(503, "the board is busy checking other runs; try again soon", "5");
      case PoolAnswer::kStopping:
        return Refusal(503, "the board is restarting; try again in a moment", "5");
      case PoolAnswer::kAlreadyPending:
        return Refusal(429, "one submission at a time from an address: wait for the answer "
                            "to the last", "5");
      case PoolAnswer::kOverShare: {
        o = Refusal(429, "this address has used its share of the verifier; wait " +
                             std::to_string(retry_after) + " s");
        o.retry_after_seconds = retry_after;
        return o;
      }
    }
    if (v.kind != Verdict::kAccepted) {
      if (v.kind == Verdict::kRefused) RememberRefused(&ctx->refused, hash, v.reason);
      return Refusal(v.kind == Verdict::kRefused ? 422 : 500, v.reason);
    }
    NewRun run{name, hash, body, v.flies, v.speed, v.time_ms, v.frames,
               static_cast<int64_t>(time(nullptr))};
    if (!ctx->store->Insert(run, &o.run, &found)) return StoreFailed(ctx);
  }
  // The same replay twice is one run: the first one's name and id stand.
  o.existed = found;
  if (!ctx->store->Rank(o.run, &o.rank)) return StoreFailed(ctx);
  o.status = found ? 200 : 201;
  return o;
}

}  // namespace board
