// Who sent a run, as the board keeps it and as an operator bans it: an IPv4 address as
// it is, an IPv6 address as its /64 (one household's or one machine's whole block,
// which its owner can change at will within).
#pragma once
#include <string>
#include <string_view>

namespace board {

// "192.0.2.7" -> "192.0.2.7"; "2001:db8:1:2:a:b:c:d" -> "2001:db8:1:2::/64". Anything
// that is not an address comes back as it is (trimmed of spaces), so a ban can name it.
std::string SenderOf(std::string_view address);

}  // namespace board
