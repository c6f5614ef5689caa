// The digests the board keys things by: SHA-256 from the replay library (the one the game
// names its rounds with).
#pragma once
#include <string>
#include <string_view>

namespace board {

// SHA-256 in lowercase hex: the key that stores each replay once, and the pages' tags.
std::string Sha256Hex(std::string_view bytes);
// The same digest as its 32 bytes.
std::string Sha256Bytes(std::string_view bytes);

}  // namespace board
