// The desktop icon: the game's own raised swatter over its fly, at the sizes the
// desktop's icon theme and the web app's manifest ask for.
#pragma once

#include <cstdint>
#include <vector>

constexpr int kIconSizes[] = {16, 32, 48, 64, 128, 192, 256, 512};  // 192 and 512: the web app

// width = height = size; 4 bytes a pixel (RGBA), top row first, see-through around.
std::vector<std::uint8_t> BuildIcon(int size);
