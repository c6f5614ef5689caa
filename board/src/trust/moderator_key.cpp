#include "trust/moderator_key.h"

#include <openssl/evp.h>

#include <string_view>

#include "trust/keys.h"

namespace board {

namespace {

constexpr size_t kMostAuthorization = 512;  // a key is 46 characters

// Base64 (with padding) to its bytes; false for anything else.
bool FromBase64(std::string_view text, std::string* out) {
  if (text.empty() || text.size() % 4 != 0 || text.size() > kMostAuthorization) return false;
  std::string bytes(text.size() / 4 * 3, '\0');
  int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                          reinterpret_cast<const unsigned char*>(text.data()),
                          static_cast<int>(text.size()));
  if (n < 0) return false;
  // EVP_DecodeBlock counts the padding's bytes too.
  size_t pad = text.back() == '=' ? (text[text.size() - 2] == '=' ? 2 : 1) : 0;
  bytes.resize(static_cast<size_t>(n) - pad);
  *out = std::move(bytes);
  return true;
}

}  // namespace

std::string NewModeratorKey() {
  std::string key = NewKey();
  return key.empty() ? "" : "zm-" + key.substr(3);
}

std::string RequestKey(const HttpRequest& req) {
  const std::string* header = req.Header("authorization");
  if (!header || header->size() > kMostAuthorization) return "";
  std::string_view h = *header;
  if (h.rfind("Bearer ", 0) == 0) return std::string(h.substr(7));
  std::string pair;
  if (h.rfind("Basic ", 0) != 0 || !FromBase64(h.substr(6), &pair)) return "";
  size_t colon = pair.find(':');
  return colon == std::string::npos ? "" : pair.substr(colon + 1);
}

}  // namespace board
