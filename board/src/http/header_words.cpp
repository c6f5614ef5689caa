#include "http/header_words.h"

#include <cstdlib>
#include <string>

namespace board {

std::string_view HeaderTrim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool SameWordAnyCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  return true;
}

bool ReadHeaderQ(std::string_view param, double* q) {
  if (param.size() <= 2 || (param[0] | 0x20) != 'q' || param[1] != '=') return false;
  std::string digits(param.substr(2, 5));
  char* end = nullptr;
  const double v = strtod(digits.c_str(), &end);
  *q = end != digits.c_str() && v >= 0 && v <= 1 ? v : 1;
  return true;
}

}  // namespace board
