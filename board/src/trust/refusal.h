// What the board answers when a submission is not put on the board: an HTTP status, a
// stable code for programs, details, and a sentence for people. The codes never change
// meaning; docs/board.md lists them.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "verify/verify_line.h"

namespace board {

struct Refusal {
  int status = 500;
  std::string code;     // "desync", "invalid", "duplicate", "name_taken", ...
  std::string message;  // one sentence for a person
  // Further members of the JSON answer: name and value, the value already JSON.
  std::vector<std::pair<std::string, std::string>> details;

  Refusal& With(std::string name, std::string json_value) {
    details.emplace_back(std::move(name), std::move(json_value));
    return *this;
  }
  Refusal& WithText(std::string name, std::string_view text);
  Refusal& WithNumber(std::string name, int64_t value) {
    return With(std::move(name), std::to_string(value));
  }
};

Refusal MakeRefusal(int status, std::string code, std::string message);

// A replay the verifier refused: "desync at frame N" gives desync with its frame,
// "invalid: RULE" gives invalid with the rule, anything else unreadable.
Refusal RefusalOfVerdict(const Verdict& verdict);

// {"error":CODE,"message":...,DETAILS...}
std::string RefusalJson(const Refusal& refusal);

}  // namespace board
