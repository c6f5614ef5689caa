// A Range header (bytes=...) asked of a file: the one part it names, nothing, or a part
// past the file's end. Only one range is served: a list of them gets the whole file, as
// an answer may (a clip is one stream, and a list would be a multipart answer).
#pragma once

#include <cstdint>
#include <string_view>

namespace board {

struct ByteRange {
  enum Kind { kWhole, kPart, kUnsatisfiable };
  Kind kind = kWhole;
  uint64_t first = 0;   // the part's first byte
  uint64_t length = 0;  // its length, at least 1
};

// "bytes=FIRST-LAST", "bytes=FIRST-" or "bytes=-SUFFIX" of a file of SIZE bytes; LAST past
// the end is the end. Anything else, or a header that cannot be read, is the whole file.
ByteRange ParseByteRange(std::string_view header, uint64_t size);

}  // namespace board
