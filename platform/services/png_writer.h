#pragma once
// Writes an 8-bit frame through its palette as an RGB PNG file.

#include <cstdint>

struct PALETTEENTRY;

bool WritePalettedPng(const char* path, const std::uint8_t* pixels, int width, int height,
                      const PALETTEENTRY* palette);
