// Encodes a true-colour picture with alpha as a PNG file in memory (the icons).
#pragma once

#include <cstdint>
#include <vector>

// rgba: width * height pixels, top row first, 4 bytes each. Empty on failure. The bytes
// depend only on the pixels (no time stamp), so the output is reproducible.
std::vector<std::uint8_t> EncodePng(const std::vector<std::uint8_t>& rgba, int width, int height);
