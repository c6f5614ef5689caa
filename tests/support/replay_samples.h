#pragma once
// Test support: a sample round of 300 steady frames with a few ordinary inputs of every
// kind a window sends, the verifier's clock the replay tests use, and SHA-256 of a text
// as hex. No GoogleTest here.

#include <cstdint>
#include <string>

#include "tests/support/replay_edit.h"

constexpr std::int64_t kSampleNow = 1800000000;  // the verifier's clock in the replay tests

// The round, played an hour before `now`.
EditReplay SampleRound(std::int64_t now = kSampleNow);

// SHA-256 of `text`, as 64 hex digits.
std::string Sha256Of(const std::string& text);
