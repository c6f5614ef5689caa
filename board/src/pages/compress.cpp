#include "pages/compress.h"

#include <zlib.h>

namespace board {

bool Gzip(std::string_view in, int level, std::string* out) {
  z_stream z{};
  // 15 bits of window, +16 for gzip's header and trailer; 8 is zlib's default memory.
  if (deflateInit2(&z, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  out->resize(deflateBound(&z, in.size()));
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = reinterpret_cast<Bytef*>(out->data());
  z.avail_out = static_cast<uInt>(out->size());
  const int done = deflate(&z, Z_FINISH);
  out->resize(z.total_out);
  deflateEnd(&z);
  return done == Z_STREAM_END;
}

bool Compressible(const HttpResponse& res) {
  if (res.status != 200 || !res.file.empty()) return false;
  for (const auto& h : res.headers)
    if (h.first == "Content-Encoding") return false;
  const std::string& type = res.content_type;
  return type.rfind("text/", 0) == 0 || type.rfind("application/json", 0) == 0 ||
         type.rfind("application/atom+xml", 0) == 0;
}

void CompressFor(bool takes_gzip, int level, HttpResponse* res) {
  if (!Compressible(*res)) return;
  res->AddHeader("Vary", "Accept-Encoding");
  if (!takes_gzip || res->body.size() < kGzipFrom) return;
  std::string packed;
  if (!Gzip(res->body, level, &packed) || packed.size() >= res->body.size()) return;
  res->body = std::move(packed);
  res->AddHeader("Content-Encoding", "gzip");
}

}  // namespace board
