// The play scene's counter labels and the heading board of the results.
#pragma once

#include <cstdint>

#include "tools/image.h"

Image DrawFlyCountLabel(std::uint8_t key);   // a fly on a light badge, 20x19
Image DrawClockLabel(std::uint8_t key);      // a stopwatch, 25x31
Image DrawSwatCountLabel(std::uint8_t key);  // a swatter striking, 31x31
Image DrawResultsBoard(std::uint8_t key);    // "BEST TIMES" plaque, 148x38
