// The pieces of HTTP the board reads itself: percent-decoding of paths and queries,
// query parameters and multipart/form-data bodies. Pure, so they are tested by table and
// fuzzed.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "http/http_types.h"

namespace board {

// Whether text starts with prefix, ASCII letters compared without case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// %XX escapes decoded (and '+' as a space when plus_is_space); a '%' not followed by two
// hex digits is kept as it stands.
std::string PercentDecode(std::string_view text, bool plus_is_space);

// The first parameter of that name in a query string (a=1&b=2), decoded.
bool QueryParam(std::string_view query, std::string_view name, std::string* value);

// The fields of a multipart/form-data body, given its Content-Type header. False when the
// type is not multipart/form-data with a boundary, or the body is not well formed; at
// most max_fields fields are taken.
bool ParseMultipart(std::string_view content_type, std::string_view body,
                    std::vector<FormField>* fields, size_t max_fields = 16);

}  // namespace board
