// Puts a finished sprite into its sheet rectangle. A sprite whose size differs from
// its rectangle is a fault in the art code: the generator stops rather than write a
// sheet the game would cut wrongly.
#pragma once

#include "tools/image.h"
#include "tools/sheet_layout.h"

void Place(Image& sheet, const Image& sprite, const Rect& where);

// Sets art into a box of the given size, centred or at its left edge, at mid height.
// Art larger than the box is a fault of the same kind.
Image FitInBox(const Image& art, int width, int height, bool centred);
