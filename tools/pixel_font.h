// The game's built-in 5x7 pixel font, set as on/off masks that can be doubled with
// rounded steps or stretched before they are coloured.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

struct Mask {
    Mask(int width, int height);
    bool Get(int x, int y) const;  // false outside
    void Put(int x, int y, bool on);

    int width;
    int height;
    std::vector<std::uint8_t> bits;
};

// Letters are trimmed to their own width and set `gap` columns apart, 7 rows high.
// Characters the font lacks are skipped.
Mask TextMask(std::string_view text, int gap);
// A mask drawn by hand, '#' for set pixels.
Mask MaskFromRows(std::initializer_list<std::string_view> rows);
Mask Smooth2x(const Mask& m);
// The same idea at three times the size (the Scale3x rule).
Mask Smooth3x(const Mask& m);
Mask Stretch(const Mask& m, int sx, int sy);
