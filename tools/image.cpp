#include "tools/image.h"

Image::Image(int width, int height, std::uint8_t key)
    : width_(width),
      height_(height),
      key_(key),
      pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), key) {}

std::uint8_t Image::At(int x, int y) const {
    if (!Inside(x, y)) return key_;
    return pixels_[static_cast<std::size_t>(y) * width_ + x];
}

void Image::Set(int x, int y, std::uint8_t colour) {
    if (!Inside(x, y)) return;
    pixels_[static_cast<std::size_t>(y) * width_ + x] = colour;
}
