#pragma once

// Draws the last `places` decimal digits of value with leading zeros, from the play
// sheet's digit strip, the pen starting at x; y is the top of the glyphs.
void DrawNumber(int x, int y, int value, int places);
