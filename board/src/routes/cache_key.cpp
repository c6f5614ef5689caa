// The key an answer is kept under, and the request it was made from.
#include "routes/cache_key.h"

#include <string_view>

#include "http/request_parse.h"

namespace board {

namespace {

// Every byte but the unreserved ones as %XX: the builder's request reads back the very
// value the route read.
void AppendEncoded(std::string* out, std::string_view value) {
  static const char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : value) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      *out += static_cast<char>(c);
    } else {
      *out += '%';
      *out += kHex[c >> 4];
      *out += kHex[c & 15];
    }
  }
}

}  // namespace

// The path's length first: a decoded path may hold a '?' of its own, so that
// /api/players/New%3Fx and /api/players/New?x are two keys. Of the query, only the
// parameters the route reads, in the route's order, as the route reads them: a client
// that adds parameters of its own, or writes one another way, asks for the same answer
// and adds nothing to keep. An answer that names the board by the host asked is kept for
// each (its links' start before the rest).
std::string CacheKey(const Context& ctx, const HttpRequest& req, const Route& route) {
  std::string key = std::to_string(req.path.size()) + " " + req.path + "?";
  std::string_view names = route.params;
  bool first = true;
  while (!names.empty()) {
    const size_t space = names.find(' ');
    const std::string name(names.substr(0, space));
    names.remove_prefix(space == std::string_view::npos ? names.size() : space + 1);
    std::string value;
    if (name.empty() || !req.Param(name, &value)) continue;
    if (!first) key += '&';
    first = false;
    key += name + "=";
    AppendEncoded(&key, value);
  }
  return route.by_host ? "@" + FeedBase(ctx, req) + " " + key : key;
}

// The GET request a key was made from, for the builder.
bool FromCacheKey(const std::string& key, HttpRequest* req) {
  std::string_view rest = key;
  if (!rest.empty() && rest[0] == '@') {
    // "@http://HOST[:PORT] ": asked by that host.
    size_t space = rest.find(' '), scheme = rest.find("://");
    if (space == std::string_view::npos || scheme == std::string_view::npos || scheme > space)
      return false;
    std::string host(rest.substr(scheme + 3, space - scheme - 3));
    req->headers = {{"host", host}, {"x-forwarded-host", host}};
    rest.remove_prefix(space + 1);
  }
  size_t space = rest.find(' ');
  int64_t length = 0;
  if (space == std::string_view::npos || !ParseCount(rest.substr(0, space), 1 << 20, &length) ||
      rest.size() < space + 1 + length + 1 || rest[space + 1 + length] != '?')
    return false;
  req->method = "GET";
  req->path = std::string(rest.substr(space + 1, length));
  req->query = std::string(rest.substr(space + 2 + length));
  return true;
}

}  // namespace board
