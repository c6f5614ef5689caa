#include "http/byte_range.h"

#include "http/request_parse.h"

namespace board {

namespace {

constexpr int64_t kLargest = int64_t{1} << 62;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

ByteRange ParseByteRange(std::string_view header, uint64_t size) {
  ByteRange whole;
  header = Trim(header);
  constexpr std::string_view kUnit = "bytes=";
  if (header.size() < kUnit.size()) return whole;
  for (size_t i = 0; i < kUnit.size(); ++i)
    if ((header[i] | 0x20) != kUnit[i]) return whole;  // the unit in any case ('=' stays)
  std::string_view spec = Trim(header.substr(kUnit.size()));
  if (spec.find(',') != std::string_view::npos) return whole;
  const size_t dash = spec.find('-');
  if (dash == std::string_view::npos) return whole;
  const std::string_view from = Trim(spec.substr(0, dash)), to = Trim(spec.substr(dash + 1));
  int64_t first = 0, last = 0;
  ByteRange part;
  part.kind = ByteRange::kPart;
  if (from.empty()) {  // the last SUFFIX bytes
    if (!ParseCount(to, kLargest, &last)) return whole;
    if (last == 0 || size == 0) return {ByteRange::kUnsatisfiable, 0, 0};
    part.length = static_cast<uint64_t>(last) < size ? static_cast<uint64_t>(last) : size;
    part.first = size - part.length;
    return part;
  }
  if (!ParseCount(from, kLargest, &first)) return whole;
  if (!to.empty() && (!ParseCount(to, kLargest, &last) || last < first)) return whole;
  if (static_cast<uint64_t>(first) >= size) return {ByteRange::kUnsatisfiable, 0, 0};
  uint64_t end =
      to.empty() || static_cast<uint64_t>(last) >= size ? size - 1 : static_cast<uint64_t>(last);
  part.first = static_cast<uint64_t>(first);
  part.length = end - part.first + 1;
  return part;
}

}  // namespace board
