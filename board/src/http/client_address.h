// The address a client's per-address limits are counted under: an IPv4 address as it
// is, an IPv6 address by its /64 (one home or one host gets a /64, and every address in
// it costs nothing to take), an IPv4-mapped IPv6 address as its IPv4 address.
#pragma once
#include <string>
#include <string_view>

namespace board {

std::string AddressKey(std::string_view address);

}  // namespace board
