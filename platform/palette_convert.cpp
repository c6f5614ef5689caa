#include "platform/palette_convert.h"

#include "platform/ddraw.h"

void PaletteToArgb(const std::uint8_t* pixels, int count, const PALETTEENTRY* palette, std::uint32_t* out) {
    std::uint32_t lut[256];
    for (int i = 0; i < 256; ++i)
        lut[i] = 0xFF000000u | (std::uint32_t(palette[i].peRed) << 16) | (std::uint32_t(palette[i].peGreen) << 8) |
                 palette[i].peBlue;
    for (int i = 0; i < count; ++i) out[i] = lut[pixels[i]];
}
