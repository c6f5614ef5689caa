#include "http/board_hosts.h"

#include <cctype>

#include "http/request_parse.h"

namespace board {

namespace {

int DefaultPort(std::string_view scheme) { return scheme == "https" ? 443 : 80; }

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// "host", "host:port", "[v6]" or "[v6]:port": the host in lower case, and the port (0
// when none is given). False for anything else (a user, an empty host, a bad port).
bool ParseAuthority(std::string_view text, std::string* host, int* port) {
  *port = 0;
  size_t colon = std::string_view::npos;
  if (!text.empty() && text[0] == '[') {
    size_t close = text.find(']');
    if (close == std::string_view::npos || close < 3) return false;
    for (char c : text.substr(1, close - 1))
      if (!(isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.')) return false;
    if (close + 1 < text.size()) {
      if (text[close + 1] != ':') return false;
      colon = close + 1;
    }
  } else {
    colon = text.find(':');
    for (char c : text.substr(0, colon))
      if (!(isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.')) return false;
    if (colon == 0 || text.empty()) return false;
  }
  *host = Lower(text.substr(0, colon));
  if (colon == std::string_view::npos) return true;
  int64_t n = 0;
  if (!ParseCount(text.substr(colon + 1), 65535, &n) || n == 0) return false;
  *port = static_cast<int>(n);
  return true;
}

// "scheme://authority" and what follows it (a path, or nothing).
bool ParseOrigin(std::string_view text, BoardOrigin* out, std::string_view* rest) {
  size_t sep = text.find("://");
  if (sep == std::string_view::npos) return false;
  out->scheme = Lower(text.substr(0, sep));
  if (out->scheme != "http" && out->scheme != "https") return false;
  text.remove_prefix(sep + 3);
  size_t end = text.find('/');
  *rest = end == std::string_view::npos ? std::string_view() : text.substr(end);
  if (!ParseAuthority(text.substr(0, end), &out->host, &out->port)) return false;
  if (out->port == 0) out->port = DefaultPort(out->scheme);
  return true;
}

}  // namespace

bool ParsePublicUrl(std::string_view url, BoardOrigin* out) {
  std::string_view rest;
  BoardOrigin origin;
  if (!ParseOrigin(url, &origin, &rest) || rest.find_first_of("?#") != std::string_view::npos)
    return false;
  *out = origin;
  return true;
}

std::vector<BoardOrigin> BoardOrigins(const std::vector<std::string>& public_urls, int port) {
  std::vector<BoardOrigin> out;
  for (const std::string& url : public_urls) {
    BoardOrigin origin;
    if (ParsePublicUrl(url, &origin)) out.push_back(origin);
  }
  for (const char* host : {"127.0.0.1", "localhost", "[::1]"})
    out.push_back(BoardOrigin{"http", host, port});
  return out;
}

bool IsBoardHost(const std::vector<BoardOrigin>& origins, std::string_view host) {
  std::string name;
  int port = 0;
  if (!ParseAuthority(host, &name, &port)) return false;
  for (const BoardOrigin& o : origins)
    if (o.host == name && (port ? o.port == port : o.port == DefaultPort(o.scheme))) return true;
  return false;
}

std::string LinkBase(const std::vector<BoardOrigin>& origins, size_t public_count,
                     std::string_view host) {
  auto text = [](const BoardOrigin& o) {
    return o.scheme + "://" + o.host +
           (o.port == DefaultPort(o.scheme) ? "" : ":" + std::to_string(o.port));
  };
  std::string name;
  int port = 0;
  bool named = ParseAuthority(host, &name, &port);
  if (public_count > 0) {
    for (size_t i = 0; i < public_count && i < origins.size() && named; ++i)
      if (origins[i].host == name &&
          (port ? origins[i].port == port : origins[i].port == DefaultPort(origins[i].scheme)))
        return text(origins[i]);
    return text(origins.front());
  }
  if (named) return "http://" + name + (port && port != 80 ? ":" + std::to_string(port) : "");
  return origins.empty() ? "http://127.0.0.1" : text(origins.front());
}

bool IsBoardOrigin(const std::vector<BoardOrigin>& origins, std::string_view origin) {
  BoardOrigin seen;
  std::string_view rest;
  if (!ParseOrigin(origin, &seen, &rest) || !rest.empty()) return false;
  for (const BoardOrigin& o : origins)
    if (o.scheme == seen.scheme && o.host == seen.host && o.port == seen.port) return true;
  return false;
}

}  // namespace board
