#pragma once
// The 8-bit frame through its palette to 32-bit pixels. On a screen without a GPU it is
// also enlarged by a whole factor in the same pass, straight into the pixels that reach
// the screen; where a GPU enlarges it, it is converted one to one into a texture.

#include <cstdint>

#include "platform/services/letterbox.h"

struct PALETTEENTRY;

// Where the 8-bit channels sit in a 32-bit pixel, and the bits always set (opaque alpha).
struct PixelLayout {
    int redShift = 16;
    int greenShift = 8;
    int blueShift = 0;
    std::uint32_t alwaysSet = 0;
};

// The 256 colours of `palette` as pixels of that layout.
void BuildColourTable(const PALETTEENTRY* palette, const PixelLayout& layout,
                      std::uint32_t table[256]);

// `count` 8-bit pixels through their palette to opaque 32-bit ARGB, one to one (the
// texture that SDL's renderer enlarges).
void PaletteToArgb(const std::uint8_t* pixels, int count, const PALETTEENTRY* palette,
                   std::uint32_t* out);

// Writes the 640x480 `pixels` through `table` into a 32-bit destination of w x h pixels
// (`pitch` bytes a row) at the place and factor of `box`. Each visible source row is
// looked up and widened once, then copied to the rows below it. Only the picture's own
// pixels are written: the borders are left as they are.
void ScaleConvert(const std::uint8_t* pixels, const std::uint32_t table[256], const Letterbox& box,
                  void* dest, int width, int height, int pitch);
