#include "verify/refile.h"

#include <chrono>
#include <cstdio>
#include <mutex>
#include <set>
#include <utility>

#include "pages/render.h"

namespace board {

namespace {

// The pass's share of the verifier is charged to this name, which no client address has.
constexpr char kRefileSender[] = "(the board: filing stored runs)";
constexpr int kBatch = 50;

// Waits, or less when the board stops; false when it does.
bool Pause(VerifierPool* pool, int ms) {
  std::unique_lock<std::mutex> hold(pool->lock);
  pool->freed.wait_for(hold, std::chrono::milliseconds(ms), [pool] { return pool->stopping; });
  return !pool->stopping;
}

// The replay played again, waiting for the pool as long as it asks. False when the
// board stops first.
bool VerifyAgain(Context* ctx, const std::string& replay, Verdict* v) {
  for (;;) {
    int retry_after = 0;
    switch (
        VerifyInPool(&ctx->pool, ctx->options->verifier, kRefileSender, replay, v, &retry_after)) {
      case PoolAnswer::kVerified: return true;
      case PoolAnswer::kStopping: return false;
      case PoolAnswer::kOverShare:
        if (!Pause(&ctx->pool, retry_after * 1000)) return false;
        break;
      case PoolAnswer::kQueueFull:
      case PoolAnswer::kAlreadyPending:
      case PoolAnswer::kLost:  // the verifiers' trouble, not the replay's: later
        if (!Pause(&ctx->pool, 1000)) return false;
        break;
    }
  }
}

void Log(const std::string& what) { fprintf(stderr, "zumble-board: %s\n", what.c_str()); }

enum class Got { kVerdict, kGone, kStop };

// A stored run's verdict: the kept one, or when `again` its replay played again. kGone
// for a run whose replay is no longer there; kStop (logged under `pass`) when the
// database fails or the board stops.
Got VerdictOf(Context* ctx, const UnfiledRun& r, bool again, const char* pass, Verdict* v) {
  if (!again) return Got::kVerdict;
  std::string replay;
  bool found = false;
  if (!ctx->store->Replay(r.id, true, &replay, &found)) {
    Log(std::string(pass) + ": database: " + ctx->store->LastError());
    return Got::kStop;
  }
  if (!found) return Got::kGone;
  return VerifyAgain(ctx, replay, v) ? Got::kVerdict : Got::kStop;
}

void RefilePass(Context* ctx) {
  Store* store = ctx->store;
  int64_t after = 0;
  int filed = 0, with_keys = 0, copies = 0, left = 0, held = 0;
  std::set<std::pair<int, int>> modes;
  bool stop = false;
  while (!stop) {
    std::vector<UnfiledRun> batch;
    if (!store->Unfiled(after, kBatch, &batch)) {
      Log("filing stored runs: database: " + store->LastError());
      break;
    }
    if (batch.empty()) break;
    for (const UnfiledRun& r : batch) {
      after = r.id;
      const std::string run = "run " + std::to_string(r.id);
      Verdict v = ReadVerdict(r.verdict, 0);
      const Got got =
          VerdictOf(ctx, r, v.kind != Verdict::kAccepted || v.keys < 0, "filing stored runs", &v);
      if (got == Got::kGone) continue;
      if (got == Got::kStop) {
        stop = true;
        break;
      }
      bool ok = true;
      if (v.kind == Verdict::kFailed) {
        // The verifier's own trouble: the runs wait for the next start.
        Log("filing stored runs: " + run + ": " + v.reason +
            "; the others wait for the next start");
        stop = true;
        break;
      } else if (v.kind == Verdict::kRefused) {
        ok = store->LeaveUnfiled(
            r.id, v.reason,
            "the board's game refuses its replay now (" + v.reason + "); it stays on no board");
        ++left;
      } else if (v.keys < 0) {
        Log("filing stored runs: the game does not say how a round was dealt (keys=); the "
            "runs stored before stay on no board until the board runs a game that does");
        break;
      } else if (v.flies != r.flies || v.speed != r.speed || v.time_ms != r.time_ms) {
        ok = store->LeaveUnfiled(r.id, v.line,
                                 "the board's game plays its replay to " + FormatTime(v.time_ms) +
                                     " now, not the " + FormatTime(r.time_ms) +
                                     " stored; it stays on no board");
        ++left;
      } else {
        int64_t copy_of = 0;
        bool awaiting = false;
        ok = store->FileRun(r.id, v.keys, v.swats, v.swat_frames, v.line, ctx->options->review_top,
                            &copy_of, &awaiting);
        filed += ok;
        held += ok && awaiting;
        with_keys += ok && v.keys > 0;
        copies += ok && copy_of > 0;
        modes.insert({r.flies, r.speed});
      }
      if (!ok) Log("filing stored runs: " + run + ": database: " + store->LastError());
    }
  }
  for (const auto& [flies, speed] : modes)
    if (!store->MeasureFlagsAgain(flies, speed))
      Log("filing stored runs: database: " + store->LastError());
  if (filed + left > 0)
    Log("filed " + std::to_string(filed) + " runs stored before (" + std::to_string(with_keys) +
        " with Enter/Space, " + std::to_string(copies) + " copies of others, " +
        std::to_string(held) + " awaiting review); " + std::to_string(left) +
        " the game no longer takes stay on no board (admin audit says "
        "why)");
}

// The runs filed before the board kept swat frames get them, from the kept line or by
// playing the replay again, so that copies of them moved a frame or two are told too
// (the older run keeps the round).
void FramesPass(Context* ctx) {
  Store* store = ctx->store;
  int64_t after = 0;
  int kept = 0, copies = 0;
  std::set<std::pair<int, int>> modes;
  for (bool stop = false; !stop;) {
    std::vector<UnfiledRun> batch;
    if (!store->WithoutSwatFrames(after, kBatch, &batch)) {
      Log("swat frames of stored runs: database: " + store->LastError());
      break;
    }
    if (batch.empty()) break;
    for (const UnfiledRun& r : batch) {
      after = r.id;
      Verdict v = ReadVerdict(r.verdict, 0);
      const Got got = VerdictOf(ctx, r, v.kind != Verdict::kAccepted || v.swat_frames.empty(),
                                "swat frames of stored runs", &v);
      if (got == Got::kGone) continue;
      if (got == Got::kStop) {
        stop = true;
        break;
      }
      if (v.kind == Verdict::kFailed) {
        Log("swat frames of stored runs: run " + std::to_string(r.id) + ": " + v.reason +
            "; the others wait for the next start");
        stop = true;
        break;
      }
      if (v.kind == Verdict::kAccepted && v.swat_frames.empty()) {
        Log("swat frames of stored runs: the game does not say them (swat_frames=); copies "
            "of runs stored before are told by their swats alone until it does");
        break;
      }
      // A replay the game now refuses or plays otherwise (FileRun's pass says so for the
      // runs it files) has no frames to compare: "-", not looked at again.
      bool same = v.kind == Verdict::kAccepted && v.flies == r.flies && v.speed == r.speed &&
                  v.time_ms == r.time_ms;
      int copied = 0;
      if (!store->KeepSwatFrames(r.id, same ? v.swat_frames : "-", &copied)) {
        Log("swat frames of stored runs: run " + std::to_string(r.id) +
            ": database: " + store->LastError());
        continue;
      }
      kept += 1;
      copies += copied;
      modes.insert({r.flies, r.speed});
    }
  }
  for (const auto& [flies, speed] : modes)
    if (!store->MeasureFlagsAgain(flies, speed))
      Log("swat frames of stored runs: database: " + store->LastError());
  if (kept > 0)
    Log("swat frames kept for " + std::to_string(kept) + " runs stored before (" +
        std::to_string(copies) +
        " copies of others moved a frame or two; admin audit says "
        "which)");
}

void StartPass(Context* ctx) {
  RefilePass(ctx);
  FramesPass(ctx);
}

}  // namespace

std::thread StartRefile(Context* ctx) { return std::thread(StartPass, ctx); }

}  // namespace board
