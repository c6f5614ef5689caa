// The names the board answers posts under: its public addresses (--public-url) and the
// loopback names with its port. A browser's page on any other host name, even one that
// resolves to the board's address (DNS rebinding), does not post to it.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace board {

struct BoardOrigin {
  std::string scheme;  // "http" or "https"
  std::string host;    // lower case; an IPv6 address in brackets
  int port = 0;        // always given (the scheme's own when the URL has none)
};

// "http://HOST[:PORT][/PATH]" or "https://..."; no user, query or fragment. False for
// anything else.
bool ParsePublicUrl(std::string_view url, BoardOrigin* out);

// The board's origins: each public URL, then http://127.0.0.1, localhost and [::1] on
// `port`. The URLs are ones ParsePublicUrl took.
std::vector<BoardOrigin> BoardOrigins(const std::vector<std::string>& public_urls, int port);

// A Host header ("name", "name:port") that names one of the origins (without a port:
// one on its scheme's own port).
bool IsBoardHost(const std::vector<BoardOrigin>& origins, std::string_view host);

// Where the board's absolute links start ("https://board.example.org",
// "http://127.0.0.1:8080", no slash at the end), for a request that named `host`: the
// first `public_count` origins are the public URLs; the one `host` names, else the
// first. With none given, `host` itself on http (when it is a well-formed name[:port]),
// else the loopback origin.
std::string LinkBase(const std::vector<BoardOrigin>& origins, size_t public_count,
                     std::string_view host);

// An Origin header ("scheme://host[:port]") that is one of the origins.
bool IsBoardOrigin(const std::vector<BoardOrigin>& origins, std::string_view origin);

}  // namespace board
