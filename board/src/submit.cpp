#include "submit.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "http/client_address.h"
#include "http/request_parse.h"
#include "ops/logs.h"
#include "ops/metrics.h"
#include "pages/render.h"
#include "store/disk_room.h"
#include "trust/digest.h"
#include "trust/name_fold.h"
#include "trust/name_rules.h"
#include "trust/sender.h"
#include "verify/replay_cost.h"

namespace board {

namespace {

Outcome Refused(Refusal refusal) {
  Outcome o;
  o.status = refusal.status;
  o.refusal = std::move(refusal);
  return o;
}

Outcome Refused(int status, const char* code, std::string message,
                const char* retry_after = nullptr) {
  Outcome o = Refused(MakeRefusal(status, code, std::move(message)));
  o.retry_after = retry_after;
  return o;
}

// The store failed: a full disk says so, anything else is the database being away.
Outcome DatabaseError(Context* ctx) {
  std::string error = ctx->store->LastError();
  fprintf(stderr, "zumble-board: database: %s\n", error.c_str());
  if (IsDiskFull(error))
    return Refused(507, "disk_full", "the board's disk is full; the run was not stored", "60");
  return Refused(503, "database", "the database is not answering; try again soon", "5");
}

// A refusal kept by the replay's hash: the verifier's line, or the board's own for a
// round of the game's autoplay.
const char kAutoplayLine[] = "autoplay: the round was played by the game's autoplay";

Outcome RefusedLine(const std::string& line) {
  if (line == kAutoplayLine)
    return Refused(422, "autoplay", "the round was played by the game's autoplay, not by a person");
  Verdict v;
  v.kind = Verdict::kRefused;
  v.reason = line;
  return Refused(RefusalOfVerdict(v));
}

Refusal Banned(const char* what, const std::string& reason) {
  return MakeRefusal(403, "banned",
                     std::string("this board takes no runs from this ") + what +
                         (reason.empty() ? "" : ": " + reason))
      .WithText("what", what)
      .WithText("reason", reason);
}

// What the store decided, as the answer.
Outcome FromStore(const Stored& s) {
  Outcome o;
  o.run = s.run;
  o.rank = s.rank;
  o.key = s.key;
  switch (s.outcome) {
    case Stored::kStored:
    case Stored::kAlready:
      o.existed = s.outcome == Stored::kAlready;
      if (s.run.state == "held" && s.run.signs.empty()) {
        // A place at the top of the board: a moderator confirms it first.
        o.status = 202;
        o.refusal = MakeRefusal(202, "awaiting_review",
                                "the run is stored and awaiting review: it would take place " +
                                    std::to_string(s.rank) +
                                    " of its board, which shows once a moderator approves it")
                        .WithNumber("id", s.run.id)
                        .WithNumber("rank", s.rank);
        if (!s.key.empty()) o.refusal.WithText("key", s.key).WithText("name", s.run.name);
      } else if (s.run.state == "held") {
        o.status = 202;
        o.refusal = MakeRefusal(202, "held",
                                "the run is stored, but it shows signs of machine play: an "
                                "operator will look at it before it goes on the board")
                        .WithNumber("id", s.run.id)
                        .With("signs", JsonListOf(s.run.signs));
        // The name stays free meanwhile; this key becomes its key if the run is approved.
        if (!s.key.empty()) o.refusal.WithText("key", s.key).WithText("name", s.run.name);
      } else if (s.run.state == "shown" && s.run.rate_keys < 0) {
        o.status = 202;
        o.refusal = MakeRefusal(202, "unfiled",
                                "the run is stored, but the board's game did not say whether "
                                "Enter or Space changed the round's pace, so it is on no board "
                                "yet: it is filed when the board runs a game that says")
                        .WithNumber("id", s.run.id);
        if (!s.key.empty()) o.refusal.WithText("key", s.key).WithText("name", s.run.name);
      } else if (s.run.state != "shown") {
        o = Refused(MakeRefusal(409, "duplicate",
                                "this round is stored already, and an operator took it off "
                                "the board")
                        .WithNumber("run", s.run.id));
      } else {
        o.status = o.existed ? 200 : 201;
      }
      return o;
    case Stored::kDuplicate:
      if (s.near)
        return Refused(MakeRefusal(409, "duplicate",
                                   "every swat of this round is within " +
                                       std::to_string(kNearFrames) + " frames of run " +
                                       std::to_string(s.run.id) +
                                       "'s, on the same seed: a copy of it, moved a frame or "
                                       "two, counts as that run")
                           .WithNumber("run", s.run.id));
      return Refused(MakeRefusal(409, "duplicate",
                                 "this round is on the board already, as run " +
                                     std::to_string(s.run.id) +
                                     ": a round counts once, whoever sends it")
                         .WithNumber("run", s.run.id));
    case Stored::kNameTaken:
      return Refused(MakeRefusal(403, "name_taken",
                                 "the name " + s.holder +
                                     " (or one that looks like it) belongs to another player; "
                                     "send the key it came with, or choose another name")
                         .WithText("name", s.holder));
    case Stored::kBadKey:
      return Refused(MakeRefusal(403, "bad_key", "that is not the key of the name " + s.holder)
                         .WithText("name", s.holder));
    case Stored::kBannedName: return Refused(Banned("name", s.reason));
    case Stored::kBannedAddress: return Refused(Banned("address", s.reason));
    case Stored::kTooManyHeld:
      return Refused(MakeRefusal(429, "too_many_held",
                                 "this address has as many runs waiting for an operator's "
                                 "review as the board keeps; it takes more once they are "
                                 "reviewed"));
  }
  return o;
}

}  // namespace

std::string OutcomeJson(const Outcome& o) {
  if (o.status == 200 || o.status == 201) return AcceptedJson(o.run, o.rank, o.existed, o.key);
  return RefusalJson(o.refusal);
}

void LogSubmission(const std::string& request_id, const std::string& client, const Outcome& o) {
  VerdictLine line;
  line.id = request_id;
  line.client = client;
  line.status = o.status;
  bool on_board = o.status == 200 || o.status == 201;
  line.code = on_board ? (o.existed ? "already_stored" : "stored") : o.refusal.code;
  if (!on_board) line.message = o.refusal.message;
  if (o.run.id > 0) {
    line.run = o.run.id;
    line.flies = o.run.flies;
    line.speed = o.run.speed;
    line.time_ms = o.run.time_ms;
  }
  LogVerdict(line);
  CountSubmission(o.status, line.code);
}

namespace {

// Empty when the round's seed (its calendar time) is one this board takes; else the
// verifier-style line that refuses it.
std::string SeedRefusal(const ServerOptions& options, int64_t played, int64_t now) {
  if (played < 0) return "";  // an older game does not say
  if (played < options.oldest_seed)
    return "invalid: the round was seeded on " + IsoDate(played).substr(0, 10) + ", before " +
           IsoDate(options.oldest_seed).substr(0, 10) +
           ": the clock of the machine it was played on was wrong";
  if (options.max_seed_age_days > 0 && played < now - options.max_seed_age_days * 86400)
    return "invalid: the round was played on " + IsoDate(played).substr(0, 10) +
           ", and this board takes rounds of the last " +
           std::to_string(options.max_seed_age_days) + " days";
  return "";
}

}  // namespace

Outcome Submit(Context* ctx, const Submission& in) {
  const std::string address = AddressKey(in.client);
  if (!TakeToken(&ctx->rate, address, std::chrono::steady_clock::now()))
    return Refused(429, "rate_limited", "too many submissions from this address; wait a little",
                   "10");
  std::string name;
  if (!in.has_name || !ParseName(in.raw_name, &name))
    return Refused(MakeRefusal(400, "bad_name",
                               "a name is 1 to 16 letters (of any alphabet), digits, spaces or "
                               "- _ ."));
  std::string unclear = NameRefusal(name);
  if (!unclear.empty()) return Refused(MakeRefusal(400, "bad_name", unclear));
  if (in.body.empty()) return Refused(MakeRefusal(400, "no_replay", "no replay in the request"));
  std::string early = RefuseBeforeVerifying(in.body);
  if (!early.empty()) return RefusedLine(early);
  std::string sender = SenderOf(in.client);
  bool banned = false;
  std::string reason;
  if (!ctx->store->AddressBan(sender, &banned, &reason)) return DatabaseError(ctx);
  if (banned) return Refused(Banned("address", reason));
  std::string hash = Sha256Hex(in.body);
  std::string refused;
  if (FindRefused(&ctx->refused, hash, &refused)) return RefusedLine(refused);

  NewRun run;
  run.name = name;
  run.fold = FoldName(name);
  run.key = in.key;
  run.hash = hash;
  run.replay = in.body;
  run.sender = sender;
  run.created = static_cast<int64_t>(time(nullptr));
  // These very bytes were verified before: the store answers from the run they made.
  Run known;
  bool found = false;
  if (!ctx->store->FindByHash(run.hash, &known, &found)) return DatabaseError(ctx);
  if (found) {
    // The store finds the run by these bytes' hash and answers from it; nothing new is
    // stored, so the verified fields stay unset.
    run.round = run.hash;
  } else {
    // A name that is not the sender's is refused before the verifier spends anything.
    Stored name_check;
    if (!ctx->store->CheckName(run.fold, run.key, &name_check)) return DatabaseError(ctx);
    if (name_check.outcome != Stored::kStored) return FromStore(name_check);
    if (!RoomToStore(ctx->options->db, in.body.size()))
      return Refused(507, "disk_full", "the board's disk is full; try again later", "60");
    Verdict v;
    int retry_after = 0;
    switch (VerifyInPool(&ctx->pool, ctx->options->verifier, address, in.body, &v, &retry_after)) {
      case PoolAnswer::kVerified: break;
      case PoolAnswer::kQueueFull:
        return Refused(503, "busy", "the board is busy checking other runs; try again soon", "5");
      case PoolAnswer::kStopping:
        return Refused(503, "busy", "the board is restarting; try again in a moment", "5");
      case PoolAnswer::kLost:
        return Refused(503, "busy", "the board lost its verifier while checking the run; try again",
                       "5");
      case PoolAnswer::kAlreadyPending:
        return Refused(429, "rate_limited",
                       "one submission at a time from an address: wait for the answer to the "
                       "last",
                       "5");
      case PoolAnswer::kOverShare: {
        Outcome o = Refused(429, "rate_limited",
                            "this address has used its share of the verifier; wait " +
                                std::to_string(retry_after) + " s");
        o.retry_after_seconds = retry_after;
        return o;
      }
    }
    CountVerdict(v.kind == Verdict::kAccepted ? "accepted" : RefusalOfVerdict(v).code);
    if (v.kind == Verdict::kRefused) RememberRefused(&ctx->refused, hash, v.reason);
    if (v.kind != Verdict::kAccepted) return Refused(RefusalOfVerdict(v));
    if (v.autoplay) {
      RememberRefused(&ctx->refused, hash, kAutoplayLine);
      return RefusedLine(kAutoplayLine);
    }
    std::string seed = SeedRefusal(*ctx->options, v.played, run.created);
    if (!seed.empty()) {
      RememberRefused(&ctx->refused, hash, seed);
      return RefusedLine(seed);
    }
    run.round = v.round.empty() ? run.hash : v.round;
    run.flies = v.flies;
    run.speed = v.speed;
    run.time_ms = v.time_ms;
    run.frames = v.frames;
    run.played = v.played;
    run.program = v.program;
    run.touch = v.touch;
    run.pad = v.pad;
    for (const std::string& sign : v.signs) run.signs += (run.signs.empty() ? "" : ",") + sign;
    run.rate_keys = v.keys;
    run.swats = v.swats;
    run.swat_frames = v.swat_frames;
    run.verdict = v.line;
  }
  run.max_held = ctx->options->max_held;
  run.review_top = ctx->options->review_top;
  Stored stored;
  if (!ctx->store->Submit(run, &stored)) return DatabaseError(ctx);
  // Shown, or held for a moderator who watches its clip; whether it is wanted (on a
  // first page, its player's best) is decided when its turn comes.
  if (stored.outcome == Stored::kStored) QueueClip(&ctx->clips, stored.run.id);
  return FromStore(stored);
}

}  // namespace board
