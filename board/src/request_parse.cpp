#include "request_parse.h"

namespace board {

namespace {

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == ' ' || c == '-' || c == '_' || c == '.';
}

}  // namespace

bool ParseName(std::string_view raw, std::string* out) {
  size_t begin = 0;
  size_t end = raw.size();
  while (begin < end && raw[begin] == ' ') ++begin;
  while (end > begin && raw[end - 1] == ' ') --end;
  std::string_view name = raw.substr(begin, end - begin);
  if (name.empty() || name.size() > kNameMaxChars) return false;
  for (char c : name)
    if (!IsNameChar(c)) return false;
  out->assign(name);
  return true;
}

bool ParseCount(std::string_view text, int64_t max, int64_t* out) {
  if (text.empty() || text.size() > 19) return false;
  if (text.size() > 1 && text[0] == '0') return false;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    int digit = c - '0';
    if (value > (max - digit) / 10) return false;
    value = value * 10 + digit;
  }
  *out = value;
  return true;
}

bool ParseRunId(std::string_view text, int64_t* out) {
  int64_t value = 0;
  if (!ParseCount(text, int64_t{1} << 62, &value) || value == 0) return false;
  *out = value;
  return true;
}

bool ParseLimit(std::string_view text, int fallback, int max, int* out) {
  if (text.empty()) {
    *out = fallback;
    return true;
  }
  int64_t value = 0;
  if (!ParseCount(text, max, &value) || value == 0) return false;
  *out = static_cast<int>(value);
  return true;
}

}  // namespace board
