#pragma once
// Writes a picture as an RGB PNG file: an 8-bit frame through its palette, or pixels of
// 0xAARRGGBB (a still with its overlay; alpha ignored).

#include <cstdint>

struct PALETTEENTRY;

bool WritePalettedPng(const char* path, const std::uint8_t* pixels, int width, int height,
                      const PALETTEENTRY* palette);
bool WriteArgbPng(const char* path, const std::uint32_t* argb, int width, int height);
