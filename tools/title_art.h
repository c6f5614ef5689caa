// Pictures of the title screen: the sign, the picnic-cloth tile, the menu entries,
// the caption and the twelve hopping letters' glyphs.
#pragma once

#include <cstdint>

#include "tools/image.h"

Image DrawTitleSign(std::uint8_t key);
Image DrawGinghamTile(std::uint8_t key);
Image DrawMenuEntry(const char* label, bool lit, int width, int height, std::uint8_t key);
Image DrawCaption(int width, int height, std::uint8_t key);
// Glyph n (0..7) of the hopping letters, which spell "bites persist" with the reuse
// pattern 1-8, 5, 2, 5, 3.
Image DrawLetterGlyph(int n, int width, std::uint8_t key);
