// A submission: the name and its key, the replay, its verification and storing; what
// to answer.
#pragma once
#include <string>

#include "context.h"
#include "store/store.h"
#include "trust/refusal.h"

namespace board {

struct Outcome {
  int status = 500;
  Refusal refusal;  // what a refused (or held) submission is told; status is its own
  Run run;
  int64_t rank = 0;
  bool existed = false;  // the same round under the same name was stored before
  std::string key;       // the name's new key, when this run claimed it
  const char* retry_after = nullptr;
  int retry_after_seconds = 0;  // when not a fixed text
};

struct Submission {
  std::string client;  // the sender's address
  bool has_name = false;
  std::string raw_name;
  std::string key;   // the key the sender gave, "" none
  std::string body;  // the replay
};

Outcome Submit(Context* ctx, const Submission& submission);

// The answer's JSON: the run for 200 and 201, the refusal (with its details) otherwise.
std::string OutcomeJson(const Outcome& o);

// One log line for a submission's outcome, with its request's id; and its count in the
// board's metrics.
void LogSubmission(const std::string& request_id, const std::string& client, const Outcome& o);

}  // namespace board
