// The words of list headers (Accept, Accept-Encoding, If-None-Match): trimming an item,
// comparing tokens without regard to case, and reading a q weight.
#pragma once
#include <string_view>

namespace board {

// Without the spaces and tabs around it.
std::string_view HeaderTrim(std::string_view s);
// The same token, ASCII letters in either case.
bool SameWordAnyCase(std::string_view a, std::string_view b);
// Whether a parameter ("q=0.5", trimmed) is the q weight; *q is its value, 1 when it
// cannot be read (as a bare item's).
bool ReadHeaderQ(std::string_view param, double* q);

}  // namespace board
