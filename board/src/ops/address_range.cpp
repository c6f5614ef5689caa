#include "ops/address_range.h"

#include <arpa/inet.h>

#include <cstring>

namespace board {

namespace {

// An address in its 4 or 16 bytes; an IPv4-mapped IPv6 address as its IPv4 one.
bool RangeOfAddress(std::string_view text, AddressRange* out) {
  if (text.empty() || text.size() > 63) return false;
  char buffer[64];
  memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  uint8_t v6[16];
  if (inet_pton(AF_INET, buffer, out->bytes) == 1) {
    out->v6 = false;
    out->bits = 32;
    return true;
  }
  if (inet_pton(AF_INET6, buffer, v6) != 1) return false;
  static const uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  if (memcmp(v6, kMapped, sizeof kMapped) == 0) {
    memcpy(out->bytes, v6 + 12, 4);
    out->v6 = false;
    out->bits = 32;
    return true;
  }
  memcpy(out->bytes, v6, 16);
  out->v6 = true;
  out->bits = 128;
  return true;
}

std::string_view TrimmedPart(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

bool ParseAddressRange(std::string_view text, AddressRange* out) {
  size_t slash = text.find('/');
  AddressRange range;
  if (!RangeOfAddress(text.substr(0, slash), &range)) return false;
  if (slash != std::string_view::npos) {
    std::string_view digits = text.substr(slash + 1);
    if (digits.empty() || digits.size() > 3) return false;
    int bits = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return false;
      bits = bits * 10 + (c - '0');
    }
    // "::ffff:10.0.0.0/104" is read as the IPv4 address it maps: its prefix counts the
    // IPv4 bits only.
    bool mapped = !range.v6 && text.find(':') != std::string_view::npos;
    if (mapped) bits -= 96;
    if (bits < 0 || bits > range.bits) return false;
    range.bits = bits;
  }
  *out = range;
  return true;
}

bool ParseAddressRanges(std::string_view text, std::vector<AddressRange>* out) {
  std::vector<AddressRange> ranges;
  for (;;) {
    size_t comma = text.find(',');
    AddressRange range;
    if (!ParseAddressRange(TrimmedPart(text.substr(0, comma)), &range)) return false;
    ranges.push_back(range);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  out->insert(out->end(), ranges.begin(), ranges.end());
  return true;
}

bool InAddressRanges(const std::vector<AddressRange>& ranges, std::string_view address) {
  AddressRange a;
  if (!RangeOfAddress(address, &a)) return false;
  for (const AddressRange& r : ranges) {
    if (r.v6 != a.v6) continue;
    int whole = r.bits / 8, rest = r.bits % 8;
    if (memcmp(r.bytes, a.bytes, static_cast<size_t>(whole)) != 0) continue;
    if (rest) {
      uint8_t mask = static_cast<uint8_t>(0xff << (8 - rest));
      if ((r.bytes[whole] & mask) != (a.bytes[whole] & mask)) continue;
    }
    return true;
  }
  return false;
}

std::vector<AddressRange> LoopbackRanges() {
  std::vector<AddressRange> ranges;
  ParseAddressRanges("127.0.0.0/8,::1", &ranges);
  return ranges;
}

}  // namespace board
