// The fly and the swatter, shared by every scene, and the remains of a swat.
#pragma once

#include <cstdint>

#include "tools/image.h"

// Seen from above, head up. Wings spread (19x20) or swept back (17x20).
Image DrawFly(bool wings_spread, std::uint8_t key);
// A swatted fly on its back, legs in the air (23x23).
Image DrawDeadFly(std::uint8_t key);
// The swatter's hot spot is 8 pixels right and down of the cursor: the pressed one is
// drawn at the cursor (16x32), the raised one 4 pixels left of it (18x30).
Image DrawSwatterDown(std::uint8_t key);
Image DrawSwatterUp(std::uint8_t key);
// A splat of the given size; stage 0 fresh, 1 drying, 2 almost gone.
Image DrawSplat(int width, int height, int stage, std::uint8_t key);
// Flying bits: a torn wing scrap or a drop of goo (8x8).
Image DrawWingScrap(std::uint8_t key);
Image DrawGooDrop(std::uint8_t key);
