// The board's own answers (its pages, JSON and feed) in gzip for the clients that take
// it, where that pays: text of at least kGzipFrom bytes. A kept answer is compressed once,
// when it is kept (response_cache.h); any other is compressed as it is made, at zlib's
// fastest level, so that reads keep the pace of a static server.
#pragma once
#include <string>
#include <string_view>

#include "http/http_types.h"

namespace board {

// Smaller answers fit a packet or two either way: compressing them saves nothing a reader
// would notice.
constexpr size_t kGzipFrom = 1024;
constexpr int kGzipFast = 1;  // zlib's level for an answer made for one request
constexpr int kGzipKept = 6;  // and for one kept and sent many times

// `in` as a gzip stream at `level`; false when zlib fails.
bool Gzip(std::string_view in, int level, std::string* out);

// Whether an answer is of the board's own text that may go out compressed (a 200 of
// HTML, JSON, XML or plain text, not a file, not encoded already).
bool Compressible(const HttpResponse& res);

// For a request that takes gzip: a compressible answer of kGzipFrom bytes or more
// compressed at `level` (Content-Encoding: gzip), when that makes it smaller. Every
// compressible answer says Vary: Accept-Encoding, compressed or not.
void CompressFor(bool takes_gzip, int level, HttpResponse* res);

}  // namespace board
