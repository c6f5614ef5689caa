// Colours a text mask the way all lettering in the game looks: a lit top edge, a
// lighter upper band, a darker lower band, a dark outline and an optional drop shadow.
#pragma once

#include <cstdint>

#include "tools/image.h"
#include "tools/pixel_font.h"

struct TextStyle {
    std::uint8_t shine;
    std::uint8_t upper;
    std::uint8_t lower;
    std::uint8_t outline;
    int outline_width;  // 0, 1 or 2 pixels
    std::uint8_t shadow;
    int shadow_offset;  // down and to the right; 0 for none
};

Image RenderText(const Mask& mask, const TextStyle& style, std::uint8_t key);
