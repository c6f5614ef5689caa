#include "tools/digit_strip.h"

#include <array>
#include <initializer_list>
#include <string_view>

#include "tools/draw.h"
#include "tools/palette.h"
#include "tools/sheet_layout.h"

namespace {

using Rows = std::array<std::string_view, 14>;

// Each glyph's filled strokes, 14 rows; a one-pixel outline goes round them, so each is
// two columns narrower than its span.
// clang-format off
const Rows kDigits[10] = {
    {"..#####..", ".#######.", "###...###", "##.....##", "##.....##", "##.....##", "##.....##",
     "##.....##", "##.....##", "##.....##", "##.....##", "###...###", ".#######.", "..#####.."},
    {"..##", ".###", "####", "..##", "..##", "..##", "..##", "..##", "..##", "..##", "..##",
     "..##", "..##", "..##"},
    {".#####.", "#######", "##...##", ".....##", ".....##", "....###", "...###.", "..###..",
     ".###...", "###....", "##.....", "##.....", "#######", "#######"},
    {".#######.", "#########", "##.....##", ".......##", ".......##", "..######.", "..######.",
     ".......##", ".......##", ".......##", ".......##", "##.....##", "#########", ".#######."},
    {".....###.", "....####.", "...##.##.", "..##..##.", ".##...##.", "##....##.", "##....##.",
     "#########", "#########", "......##.", "......##.", "......##.", "......##.", "......##."},
    {"#######", "#######", "##.....", "##.....", "##.....", "######.", "#######", ".....##",
     ".....##", ".....##", ".....##", "##...##", "#######", ".#####."},
    {"..######.", ".#######.", "###......", "##.......", "##.......", "########.", "#########",
     "##.....##", "##.....##", "##.....##", "##.....##", "###...###", ".#######.", "..#####.."},
    {"########", "########", "......##", "......##", ".....##.", ".....##.", "....##..",
     "....##..", "...##...", "...##...", "..##....", "..##....", "..##....", "..##...."},
    {"..#####..", ".#######.", "##.....##", "##.....##", "##.....##", ".##...##.", "..#####..",
     ".##...##.", "##.....##", "##.....##", "##.....##", "##.....##", ".#######.", "..#####.."},
    {"..#####..", ".#######.", "##.....##", "##.....##", "##.....##", "##.....##", ".########",
     "..#######", ".......##", ".......##", ".......##", "......###", ".#######.", ".######.."},
};
// clang-format on

const Rows kSlashStrokes = {".....##", ".....##", "....##.", "....##.", "....##.",
                            "...##..", "...##..", "..##...", "..##...", "..##...",
                            ".##....", ".##....", "##.....", "##....."};

// Cream strokes lit along their top edges, warmer in the lower half.
Image Glyph(int width, const Rows& strokes) {
    Image img(width, 16, pal::Key);
    for (int y = 0; y < 14; ++y)
        for (int x = 0; x < static_cast<int>(strokes[y].size()); ++x)
            if (strokes[y][x] == '#') img.Set(x + 1, y + 1, pal::Cream);
    for (int y = 1; y < 15; ++y)
        for (int x = 0; x < width; ++x) {
            if (!img.Opaque(x, y)) continue;
            if (!img.Opaque(x, y - 1))
                img.Set(x, y, pal::White);
            else if (y >= 8)
                img.Set(x, y, pal::Yellow);
        }
    Outline(img, pal::Outline, true);
    return img;
}

// A two-pixel dot with dark caps above and below: all a two-column span can hold.
Image Dot(std::initializer_list<int> rows) {
    Image img(2, 16, pal::Key);
    for (int y : rows) {
        FillRect(img, 0, y - 1, 2, y, pal::Outline);
        FillRect(img, 0, y, 2, y + 1, pal::White);
        FillRect(img, 0, y + 1, 2, y + 2, pal::Yellow);
        FillRect(img, 0, y + 2, 2, y + 3, pal::Outline);
    }
    return img;
}

}  // namespace

void DrawDigitStrip(Image& sheet) {
    using namespace play_sheet;
    for (int d = 0; d < 10; ++d) {
        const int width = kDigitLeft[d + 1] - kDigitLeft[d];
        Paste(sheet, Glyph(width, kDigits[d]), kDigitLeft[d], kDigitTop);
    }
    Paste(sheet, Dot({4, 10}), kColon.left, kColon.top);
    Paste(sheet, Glyph(kSlash.Width(), kSlashStrokes), kSlash.left, kSlash.top);
    Paste(sheet, Dot({11}), kPoint.left, kPoint.top);
}
