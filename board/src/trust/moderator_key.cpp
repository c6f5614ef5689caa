#include "trust/moderator_key.h"

#include <string_view>

#include "trust/digest.h"
#include "trust/keys.h"

namespace board {

namespace {

constexpr size_t kMostAuthorization = 512;  // a key is 46 characters

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
  if (h.rfind("Basic ", 0) != 0 || h.size() == 6 || !FromBase64(h.substr(6), &pair)) return "";
  size_t colon = pair.find(':');
  return colon == std::string::npos ? "" : pair.substr(colon + 1);
}

}  // namespace board
