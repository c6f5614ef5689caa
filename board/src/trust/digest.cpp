#include "trust/digest.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cstdint>

#include "replay/core/sha256.h"

namespace board {

namespace {

std::string Hex32(const uint8_t digest[32]) {
  char hex[65];
  ::Sha256Hex(digest, hex);
  return hex;
}

}  // namespace

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
  return Hex32(reinterpret_cast<const uint8_t*>(digest.data()));
}

std::string HmacSha256Hex(std::string_view key, std::string_view message) {
  uint8_t mac[EVP_MAX_MD_SIZE];
  unsigned size = 0;
  // A key of any length (HMAC hashes a long one itself); an empty key or message is
  // still one, never a null pointer.
  static const uint8_t kNone = 0;
  const void* secret = key.empty() ? &kNone : static_cast<const void*>(key.data());
  const auto* text = message.empty() ? &kNone : reinterpret_cast<const uint8_t*>(message.data());
  if (!HMAC(EVP_sha256(), secret, static_cast<int>(key.size()), text, message.size(), mac, &size) ||
      size != 32)
    return "";
  return Hex32(mac);
}

bool SameSecret(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string Base64(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                          reinterpret_cast<const unsigned char*>(bytes.data()),
                          static_cast<int>(bytes.size()));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

bool FromBase64(std::string_view text, std::string* out) {
  if (text.size() % 4 != 0) return false;
  std::string bytes(text.size() / 4 * 3, '\0');
  int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                          reinterpret_cast<const unsigned char*>(text.data()),
                          static_cast<int>(text.size()));
  if (n < 0) return false;
  // EVP_DecodeBlock counts the padding's bytes too.
  size_t pad = text.empty() || text.back() != '=' ? 0 : text[text.size() - 2] == '=' ? 2 : 1;
  bytes.resize(static_cast<size_t>(n) - pad);
  *out = std::move(bytes);
  return true;
}

std::string Base64Url(std::string_view bytes) {
  std::string out = Base64(bytes);
  while (!out.empty() && out.back() == '=') out.pop_back();
  for (char& c : out) c = c == '+' ? '-' : c == '/' ? '_' : c;
  return out;
}

}  // namespace board
