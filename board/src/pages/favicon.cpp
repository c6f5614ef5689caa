#include "pages/favicon.h"

#include <cstddef>
#include <cstdint>

namespace board {

// From packaging/icons at build time (board/cmake/embed_icons.cmake).
extern const unsigned char kIconPng16[], kIconPng32[];
extern const size_t kIconPng16Size, kIconPng32Size;

namespace {

void Put16(std::string* out, uint32_t v) {
  out->push_back(static_cast<char>(v & 0xff));
  out->push_back(static_cast<char>(v >> 8));
}

void Put32(std::string* out, uint32_t v) {
  Put16(out, v & 0xffff);
  Put16(out, v >> 16);
}

// An .ico: its header, one directory entry an image, then the images (PNGs) in turn.
std::string MakeIco() {
  const struct {
    int size;
    const unsigned char* png;
    size_t bytes;
  } images[] = {{16, kIconPng16, kIconPng16Size}, {32, kIconPng32, kIconPng32Size}};
  std::string out;
  Put16(&out, 0);  // reserved
  Put16(&out, 1);  // an icon
  Put16(&out, 2);  // images
  uint32_t at = 6 + 16 * 2;
  for (const auto& image : images) {
    out.push_back(static_cast<char>(image.size));
    out.push_back(static_cast<char>(image.size));
    out.push_back(0);  // no palette
    out.push_back(0);
    Put16(&out, 1);   // planes
    Put16(&out, 32);  // bits a pixel
    Put32(&out, static_cast<uint32_t>(image.bytes));
    Put32(&out, at);
    at += static_cast<uint32_t>(image.bytes);
  }
  for (const auto& image : images)
    out.append(reinterpret_cast<const char*>(image.png), image.bytes);
  return out;
}

}  // namespace

const std::string& FaviconIco() {
  static const std::string ico = MakeIco();
  return ico;
}

}  // namespace board
