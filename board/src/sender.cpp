#include "sender.h"

#include <arpa/inet.h>

#include <cstring>

namespace board {

std::string SenderOf(std::string_view address) {
  while (!address.empty() && address.front() == ' ') address.remove_prefix(1);
  while (!address.empty() && address.back() == ' ') address.remove_suffix(1);
  std::string text(address);
  // An operator may name the block as the board shows it.
  if (text.size() > 3 && text.compare(text.size() - 3, 3, "/64") == 0) text.resize(text.size() - 3);
  in6_addr v6{};
  if (text.find(':') == std::string::npos || inet_pton(AF_INET6, text.c_str(), &v6) != 1)
    return std::string(address);
  // An IPv4 address written as IPv6 (a dual-stack listener's) is the IPv4 address.
  static const unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  char out[INET6_ADDRSTRLEN];
  if (memcmp(v6.s6_addr, kMapped, sizeof kMapped) == 0) {
    in_addr v4{};
    memcpy(&v4, v6.s6_addr + 12, 4);
    return inet_ntop(AF_INET, &v4, out, sizeof out) ? out : std::string(address);
  }
  memset(v6.s6_addr + 8, 0, 8);
  if (!inet_ntop(AF_INET6, &v6, out, sizeof out)) return std::string(address);
  return std::string(out) + "/64";
}

}  // namespace board
