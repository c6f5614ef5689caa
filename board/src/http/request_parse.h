// The server's own reading of what a client sends: player names, run ids, board
// modes and list limits. Everything here is pure, so it is property-tested and fuzzed.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace board {

constexpr int kNameMaxChars = 16;
constexpr size_t kNameMaxBytes = 64;

// Names are Unicode: valid UTF-8, trimmed of spaces at both ends and put in NFC, then 1
// to 16 characters, each a letter of any script (with at most two combining marks), a
// decimal digit, a space or one of "-_.". Returns false (and leaves *out alone) for
// anything else: controls, invisible and direction characters, symbols, other spaces.
bool ParseName(std::string_view raw, std::string* out);

// A run id: decimal, 1..2^62, no sign, no leading zero, no spaces.
bool ParseRunId(std::string_view text, int64_t* out);

// A list limit: decimal 1..max; an empty text gives fallback.
bool ParseLimit(std::string_view text, int fallback, int max, int* out);

// A whole non-negative decimal that fits an int (for the verifier's output fields).
bool ParseCount(std::string_view text, int64_t max, int64_t* out);

}  // namespace board
