// The play scene's number glyphs (digits 0-9 at their fixed spans, 16 rows high) and
// the clock colon, the count/target slash and the milliseconds point.
#pragma once

#include "tools/image.h"

void DrawDigitStrip(Image& sheet);
