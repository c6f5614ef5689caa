// A submission: the name, the replay, its verification and storing; what to answer.
#pragma once
#include <string>

#include "context.h"
#include "store.h"

namespace board {

struct Outcome {
  int status = 500;
  std::string message;   // the reason of a refusal
  Run run;
  int64_t rank = 0;
  bool existed = false;
  const char* retry_after = nullptr;
  int retry_after_seconds = 0;   // when not a fixed text
};

Outcome Submit(Context* ctx, const std::string& client, bool has_name,
               const std::string& raw_name, const std::string& body);

// One log line for a submission's outcome.
void LogSubmission(const std::string& client, const Outcome& o);

}  // namespace board
