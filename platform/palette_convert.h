#pragma once
// The presentation step: an 8-bit frame through its palette to 32-bit ARGB pixels.

#include <cstdint>

struct PALETTEENTRY;

void PaletteToArgb(const std::uint8_t* pixels, int count, const PALETTEENTRY* palette, std::uint32_t* out);
