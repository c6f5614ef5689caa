#pragma once
// The two drawing primitives: rectangles of the sprite sheet to the back buffer,
// colour-keyed, unclipped or cut to the 640x480 screen.

#include "platform/stand_in/ddraw.h"

HRESULT BlitSprite(int x, int y, int left, int top, int right, int bottom);
HRESULT BlitSpriteClipped(int x, int y, int left, int top, int right, int bottom);
