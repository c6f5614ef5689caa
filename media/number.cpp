#include "media/number.h"

#include "media/blit.h"

namespace {

// The digit strip of the play sheet: each glyph's span, the gap before it and the
// advance after it. Cells are 16 pixels, 15 for the narrow 1 and 7.
struct Glyph {
    int left, right, gap, after;
};

constexpr Glyph kGlyphs[10] = {
    {0, 11, 2, 12},  {11, 17, 4, 7},  {17, 26, 3, 10}, {26, 37, 2, 12}, {37, 48, 2, 12},
    {48, 57, 3, 10}, {57, 68, 2, 12}, {68, 78, 2, 11}, {78, 89, 2, 12}, {89, 100, 2, 12},
};

constexpr int kGlyphTop = 509;
constexpr int kGlyphBottom = 525;
constexpr int kMaxPlaces = 5;

}  // namespace

void DrawNumber(int x, int y, int value, int places) {
    // Nothing calls this with a negative value; if one comes, show zeros rather than
    // indexing outside the strip.
    if (value < 0) value = 0;
    if (places <= 0) return;
    if (places > kMaxPlaces) places = kMaxPlaces;

    int digits[kMaxPlaces];
    digits[0] = value / 10000;
    int rest = value - 10000 * digits[0];
    digits[1] = rest / 1000;
    rest -= 1000 * digits[1];
    digits[2] = rest / 100;
    rest -= 100 * digits[2];
    digits[3] = rest / 10;
    digits[4] = rest - 10 * digits[3];
    // Past 99999 the top place keeps only its last digit, like every other place.
    digits[0] %= 10;

    int pen = x;
    for (int i = kMaxPlaces - places; i < kMaxPlaces; ++i) {
        const Glyph& g = kGlyphs[digits[i]];
        pen += g.gap;
        BlitSprite(pen, y, g.left, kGlyphTop, g.right, kGlyphBottom);
        pen += g.gap + g.after;
    }
}
