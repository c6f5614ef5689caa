#include "pages/static_files.h"

#include <sys/stat.h>

#include <string>

#include "trust/digest.h"

namespace board {

namespace {

bool EndsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

bool IsRegular(const std::string& path, bool* is_dir) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  *is_dir = S_ISDIR(st.st_mode);
  return S_ISREG(st.st_mode) || S_ISDIR(st.st_mode);
}

}  // namespace

std::string PageSecurityPolicy(std::string_view html) {
  std::string hashes;
  size_t at = 0;
  while ((at = html.find("<script", at)) != std::string_view::npos) {
    size_t open_end = html.find('>', at);
    if (open_end == std::string_view::npos) break;
    std::string_view tag = html.substr(at, open_end - at);
    size_t close = html.find("</script>", open_end);
    if (close == std::string_view::npos) break;
    if (tag.find(" src=") == std::string_view::npos) {
      std::string_view body = html.substr(open_end + 1, close - open_end - 1);
      hashes += " 'sha256-" + Base64(Sha256Bytes(body)) + "'";
    }
    at = close;
  }
  return "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'" + hashes +
         "; style-src 'self' 'unsafe-inline'; img-src 'self' data: blob:; media-src 'self' "
         "data: blob:; connect-src 'self'; worker-src 'self'; object-src 'none'; base-uri "
         "'self'; form-action 'self'; frame-ancestors 'none'";
}

const char* ContentTypeOf(std::string_view name) {
  static const struct {
    const char* ext;
    const char* type;
    // clang-format off
  } kTypes[] = {
      {".html", "text/html; charset=utf-8"}, {".js", "text/javascript; charset=utf-8"},
      {".mjs", "text/javascript; charset=utf-8"}, {".css", "text/css; charset=utf-8"},
      {".wasm", "application/wasm"}, {".json", "application/json"},
      {".webmanifest", "application/manifest+json"}, {".png", "image/png"},
      {".svg", "image/svg+xml"}, {".ico", "image/x-icon"}, {".bmp", "image/bmp"},
      {".wav", "audio/wav"}, {".txt", "text/plain; charset=utf-8"},
      {".zrp", "application/octet-stream"}, {".data", "application/octet-stream"},
  };
  // clang-format on
  for (const auto& t : kTypes)
    if (EndsWith(name, t.ext)) return t.type;
  return "application/octet-stream";
}

bool FindStaticFile(const std::string& site, std::string_view prefix, std::string_view path,
                    std::string* file, std::string* content_type) {
  if (site.empty() || path.substr(0, prefix.size()) != prefix) return false;
  std::string_view rest = path.substr(prefix.size());
  if (!rest.empty() && rest[0] != '/') return false;  // "/player" is not under "/play"
  // Every segment must be a plain name: no "..", no ".", no hidden files, no control
  // characters or backslashes.
  size_t at = 0;
  while (at < rest.size()) {
    size_t next = rest.find('/', at + 1);
    std::string_view segment = rest.substr(
        at + 1, next == std::string_view::npos ? std::string_view::npos : next - at - 1);
    if (!segment.empty() && segment[0] == '.') return false;
    for (char c : segment)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '\\') return false;
    if (next == std::string_view::npos) break;
    at = next;
  }
  std::string candidate = site + std::string(rest);
  bool is_dir = false;
  if (!IsRegular(candidate, &is_dir)) return false;
  if (is_dir) {
    if (candidate.back() != '/') candidate += '/';
    candidate += "index.html";
    if (!IsRegular(candidate, &is_dir) || is_dir) return false;
  }
  *file = candidate;
  *content_type = ContentTypeOf(candidate);
  return true;
}

}  // namespace board
