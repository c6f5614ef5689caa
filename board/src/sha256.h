// SHA-256 of a replay's bytes, in lowercase hex: the key that stores each replay once.
#pragma once
#include <string>
#include <string_view>

namespace board {

std::string Sha256Hex(std::string_view bytes);

}  // namespace board
