// The server's own reading of what a client sends: player names, run ids, board
// modes and list limits. Everything here is pure, so it is property-tested and fuzzed.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace board {

constexpr int kNameMaxChars = 16;

// Trims spaces at both ends, then accepts 1..16 characters of letters, digits, spaces
// and "-_.". Returns false (and leaves *out alone) for anything else.
bool ParseName(std::string_view raw, std::string* out);

// A run id: decimal, 1..2^62, no sign, no leading zero, no spaces.
bool ParseRunId(std::string_view text, int64_t* out);

// A list limit: decimal 1..max; an empty text gives fallback.
bool ParseLimit(std::string_view text, int fallback, int max, int* out);

// A whole non-negative decimal that fits an int (for the verifier's output fields).
bool ParseCount(std::string_view text, int64_t max, int64_t* out);

}  // namespace board
