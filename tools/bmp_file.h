// Writes a sheet as the uncompressed 8-bit Windows bitmap the game loads: 14-byte
// file header, 40-byte info header, 256-entry colour table, rows bottom-up.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/image.h"
#include "tools/palette.h"

std::vector<std::uint8_t> EncodeBmp(const Image& sheet, const std::array<pal::Rgb, 256>& colours);
bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
