#include "trust/digest.h"

#include <cstdint>

#include "replay/core/sha256.h"

namespace board {

std::string Sha256Bytes(std::string_view bytes) {
  Sha256 s;
  Sha256Start(&s);
  Sha256Feed(&s, bytes.data(), bytes.size());
  uint8_t digest[32];
  Sha256Finish(&s, digest);
  return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

std::string Sha256Hex(std::string_view bytes) {
  std::string digest = Sha256Bytes(bytes);
  char hex[65];
  ::Sha256Hex(reinterpret_cast<const uint8_t*>(digest.data()), hex);
  return hex;
}

}  // namespace board
