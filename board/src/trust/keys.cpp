#include "trust/keys.h"

#include <sys/random.h>

#include <cerrno>

#include "trust/digest.h"

namespace board {

namespace {

std::string FromHex(std::string_view hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    out += static_cast<char>(nibble(hex[i]) << 4 | nibble(hex[i + 1]));
  }
  return out;
}

}  // namespace

std::string NewKey() {
  unsigned char bytes[33] = {};
  size_t got = 0;
  while (got < 32) {
    ssize_t n = getrandom(bytes + got, 32 - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return "";
    got += static_cast<size_t>(n);
  }
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string key = "zk-";
  // 32 bytes in groups of 3 (the last group short): 43 characters, no padding.
  for (size_t i = 0; i < 32; i += 3) {
    uint32_t v = uint32_t{bytes[i]} << 16 | uint32_t{bytes[i + 1]} << 8 |
                 (i + 2 < 32 ? bytes[i + 2] : 0);
    int chars = i + 2 < 32 ? 4 : 3;
    for (int k = 0; k < chars; ++k) key += kAlphabet[(v >> (18 - 6 * k)) & 63];
  }
  return key;
}

std::string KeyHash(std::string_view key) { return Sha256Hex(key); }

bool SameSecret(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i)
    diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

std::string ReviewToken(std::string_view secret, int64_t run_id) {
  return HmacSha256Hex(secret, "review:" + std::to_string(run_id));
}

std::string HmacSha256Hex(std::string_view secret, std::string_view message) {
  std::string key(secret);
  if (key.size() > 64) key = FromHex(Sha256Hex(key));
  key.resize(64, '\0');
  std::string inner(64, '\0'), outer(64, '\0');
  for (size_t i = 0; i < 64; ++i) {
    inner[i] = static_cast<char>(key[i] ^ 0x36);
    outer[i] = static_cast<char>(key[i] ^ 0x5c);
  }
  return Sha256Hex(outer + FromHex(Sha256Hex(inner + std::string(message))));
}

}  // namespace board
