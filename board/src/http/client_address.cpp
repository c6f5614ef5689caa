#include "http/client_address.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

namespace board {

std::string AddressKey(std::string_view address) {
  std::string text(address);
  // A zone (fe80::1%eth0) or brackets do not make another client.
  if (!text.empty() && text.front() == '[' && text.back() == ']')
    text = text.substr(1, text.size() - 2);
  size_t zone = text.find('%');
  if (zone != std::string::npos) text.resize(zone);
  in_addr v4{};
  if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
    char out[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &v4, out, sizeof out);
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, text.c_str(), &v6) != 1) return text;  // not an address: as given
  static const unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  if (memcmp(v6.s6_addr, kMapped, 12) == 0) {
    memcpy(&v4, v6.s6_addr + 12, 4);
    char out[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &v4, out, sizeof out);
  }
  memset(v6.s6_addr + 8, 0, 8);
  char out[INET6_ADDRSTRLEN];
  return std::string(inet_ntop(AF_INET6, &v6, out, sizeof out)) + "/64";
}

}  // namespace board
