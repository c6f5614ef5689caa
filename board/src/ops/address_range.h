// Ranges of client addresses in CIDR form ("10.0.0.0/8", "2001:db8::/32", or one address
// alone), for the operator's --metrics-from: who may read the board's metrics.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace board {

struct AddressRange {
  bool v6 = false;
  uint8_t bytes[16] = {};
  int bits = 0;  // the prefix's length
};

// One range; false for anything else (a host name, a prefix longer than the address, bits
// set after the prefix are allowed and ignored as in "192.0.2.7/24").
bool ParseAddressRange(std::string_view text, AddressRange* out);
// A comma-separated list of ranges, added to *out; false (nothing added) if any is bad.
bool ParseAddressRanges(std::string_view text, std::vector<AddressRange>* out);
// Whether the address (as the transport writes a client's: "127.0.0.1", "::1", an
// IPv4-mapped "::ffff:192.0.2.1" counting as its IPv4 address) is in one of the ranges.
bool InAddressRanges(const std::vector<AddressRange>& ranges, std::string_view address);
// Loopback: 127.0.0.0/8 and ::1.
std::vector<AddressRange> LoopbackRanges();

}  // namespace board
