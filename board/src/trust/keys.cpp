#include "trust/keys.h"

#include <openssl/rand.h>

#include "trust/digest.h"

namespace board {

std::string NewKey() {
  unsigned char bytes[32];
  if (RAND_bytes(bytes, sizeof bytes) != 1) return "";
  // 32 bytes: 43 characters, no padding.
  return "zk-" + Base64Url(std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes));
}

std::string KeyHash(std::string_view key) { return Sha256Hex(key); }

std::string ReviewToken(std::string_view secret, int64_t run_id) {
  return HmacSha256Hex(secret, "review:" + std::to_string(run_id));
}

}  // namespace board
