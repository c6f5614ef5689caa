#include "platform/stand_in/scale_convert.h"

#include <algorithm>
#include <cstring>

#include "platform/stand_in/ddraw.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// One source row looked up and each pixel written `S` times; a constant factor lets the
// compiler unroll the inner writes.
template <int S>
void WidenRow(const std::uint8_t* src, const std::uint32_t* table, std::uint32_t* out) {
    for (int x = 0; x < kWidth; ++x) {
        const std::uint32_t c = table[src[x]];
        for (int k = 0; k < S; ++k) out[x * S + k] = c;
    }
}

void WidenRowAnyScale(const std::uint8_t* src, const std::uint32_t* table, int scale,
                      std::uint32_t* out) {
    for (int x = 0; x < kWidth; ++x) {
        const std::uint32_t c = table[src[x]];
        std::fill_n(out + x * scale, scale, c);
    }
}

void WidenRow(const std::uint8_t* src, const std::uint32_t* table, int scale, std::uint32_t* out) {
    switch (scale) {
    case 1: WidenRow<1>(src, table, out); break;
    case 2: WidenRow<2>(src, table, out); break;
    case 3: WidenRow<3>(src, table, out); break;
    case 4: WidenRow<4>(src, table, out); break;
    default: WidenRowAnyScale(src, table, scale, out); break;
    }
}

// A picture wider than the window (only in a window smaller than 640x480): each visible
// pixel looked up on its own.
void ClippedRow(const std::uint8_t* src, const std::uint32_t* table, const Letterbox& box, int x0,
                int x1, std::uint32_t* out) {
    for (int x = x0; x < x1; ++x) out[x] = table[src[(x - box.x) / box.scale]];
}

}  // namespace

void BuildColourTable(const PALETTEENTRY* palette, const PixelLayout& layout,
                      std::uint32_t table[256]) {
    for (int i = 0; i < 256; ++i)
        table[i] = layout.alwaysSet | (std::uint32_t(palette[i].peRed) << layout.redShift) |
                   (std::uint32_t(palette[i].peGreen) << layout.greenShift) |
                   (std::uint32_t(palette[i].peBlue) << layout.blueShift);
}

void PaletteToArgb(const std::uint8_t* pixels, int count, const PALETTEENTRY* palette,
                   std::uint32_t* out) {
    constexpr PixelLayout kArgb = {16, 8, 0, 0xFF000000u};
    std::uint32_t table[256];
    BuildColourTable(palette, kArgb, table);
    for (int i = 0; i < count; ++i) out[i] = table[pixels[i]];
}

void ScaleConvert(const std::uint8_t* pixels, const std::uint32_t table[256], const Letterbox& box,
                  void* dest, int width, int height, int pitch) {
    const int s = box.scale;
    const int x0 = std::max(box.x, 0), x1 = std::min(box.x + kWidth * s, width);
    const int y0 = std::max(box.y, 0), y1 = std::min(box.y + kHeight * s, height);
    if (x0 >= x1 || y0 >= y1) return;
    const bool wholeRows = box.x >= 0 && box.x + kWidth * s <= width;
    const std::size_t rowBytes = std::size_t(x1 - x0) * 4;
    auto* base = static_cast<std::uint8_t*>(dest);
    for (int y = y0; y < y1;) {
        const int sy = (y - box.y) / s;
        const int last = std::min(box.y + (sy + 1) * s, y1);  // the rows this source row covers
        auto* first = reinterpret_cast<std::uint32_t*>(base + std::size_t(y) * pitch);
        if (wholeRows)
            WidenRow(pixels + sy * kWidth, table, s, first + x0);
        else
            ClippedRow(pixels + sy * kWidth, table, box, x0, x1, first);
        for (int r = y + 1; r < last; ++r)
            std::memcpy(base + std::size_t(r) * pitch + std::size_t(x0) * 4, first + x0, rowBytes);
        y = last;
    }
}
