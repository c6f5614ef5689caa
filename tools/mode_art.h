// Pictures of the mode-select screen: big lettering on green felt, arrow buttons and
// the start and back buttons.
#pragma once

#include <cstdint>

#include "tools/image.h"

Image DrawFeltTile(std::uint8_t key);
// Big lettering of the fly count, sized to fit a box of the given height.
Image DrawCountText(const char* text, std::uint8_t key);
Image DrawSlimOne(std::uint8_t key);
// Speed captions 0..3, slowest first, each coloured warmer than the last.
Image DrawSpeedCaption(int speed, std::uint8_t key);
Image DrawArrow(bool pointing_left, bool enabled, std::uint8_t key);
Image DrawButton(int width, int height, const char* label, bool go, std::uint8_t key);
