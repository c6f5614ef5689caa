#include "tools/title_art.h"

#include <array>
#include <string_view>

#include "tools/critters.h"
#include "tools/draw.h"
#include "tools/palette.h"
#include "tools/pixel_font.h"
#include "tools/place.h"
#include "tools/text_art.h"

namespace {

using Strokes = std::array<std::string_view, 13>;

// Lower-case letters on a baseline at row 11 (descender to 13), two-pixel strokes. The
// 't' has only three columns: a one-pixel stem, so its bar is two rows thick, at the
// top of the small letters, and its stem rises only two rows above it, so that it does
// not read as an 'l'.
// clang-format off
const Strokes kLetters[8] = {
    // b
    {"##.....", "##.....", "##.....", "##.....", "##.###.", "#######", "##...##", "##...##",
     "##...##", "#######", "##.###.", "", ""},
    // i
    {"", "..##", "..##", "", ".###", "..##", "..##", "..##", "..##", "..##", "..##", "", ""},
    // t
    {"", "", ".#", ".#", "###", "###", ".#", ".#", ".#", ".#", ".##", "", ""},
    // e
    {"", "", "", "", ".####.", "##..##", "##..##", "######", "##....", "##....", ".#####", "", ""},
    // s
    {"", "", "", "", ".######", "##.....", "##.....", ".#####.", ".....##", ".....##", "######.",
     "", ""},
    // p
    {"", "", "", "", "##.###.", "#######", "##...##", "##...##", "##...##", "#######", "##.###.",
     "##.....", "##....."},
    // e, wider
    {"", "", "", "", ".######.", "##....##", "##....##", "########", "##......", "##......",
     ".#######", "", ""},
    // r
    {"", "", "", "", "##.###.", "#######", "###..##", "##.....", "##.....", "##.....", "##.....",
     "", ""},
};
// clang-format on

// Where each glyph's strokes start in its slot, so the letters stand evenly spaced.
constexpr int kLetterInset[8] = {1, 1, 0, 0, 1, 1, 1, 1};

}  // namespace

Image DrawTitleSign(std::uint8_t key) {
    Image img(340, 124, key);
    FillRoundRect(img, 0, 0, 340, 124, 14, pal::Outline);
    FillRoundRect(img, 2, 2, 338, 122, 12, pal::Gold);
    FillRoundRect(img, 2, 2, 338, 60, 12, pal::Yellow);
    FillRoundRect(img, 6, 6, 334, 118, 9, pal::Outline);
    FillRoundRect(img, 7, 7, 333, 117, 8, pal::DarkRed);
    FillRoundRect(img, 8, 8, 332, 112, 7, pal::Red);
    FillRect(img, 16, 10, 324, 11, pal::Pink);
    for (int x : {13, 323})
        for (int y : {13, 107}) {
            FillEllipse(img, x + 1.5, y + 1.5, 2.0, 2.0, pal::Outline);
            img.Set(x + 1, y + 1, pal::Yellow);
        }
    const TextStyle big{pal::White, pal::Yellow, pal::Gold, pal::Outline, 2, pal::DarkRed, 3};
    const Image name = RenderText(Smooth2x(Smooth2x(Smooth2x(TextMask("Zumble", 1)))), big, key);
    Paste(img, name, (340 - name.Width()) / 2 + 1, 12);
    const TextStyle small{pal::White, pal::Cream, pal::Cream, pal::Outline, 1, pal::DarkRed, 1};
    const Image line = RenderText(Smooth2x(TextMask("THE FLY SWATTING GAME", 1)), small, key);
    Paste(img, line, (340 - line.Width()) / 2, 86);
    const Image fly = DrawFly(true, key);
    Paste(img, fly, 18, 34);
    Paste(img, DrawFly(false, key), 306, 52);
    return img;
}

Image DrawGinghamTile(std::uint8_t key) {
    Image img(16, 16, key);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const int bands = (x < 8 ? 1 : 0) + (y < 8 ? 1 : 0);
            std::uint8_t c = bands == 0   ? pal::GinghamLight
                             : bands == 1 ? pal::GinghamMid
                                          : pal::GinghamDark;
            img.Set(x, y, c);
        }
    return img;
}

Image DrawMenuEntry(const char* label, bool lit, int width, int height, std::uint8_t key) {
    const Mask letters = Smooth2x(TextMask(label, 1));
    if (!lit) {
        // Plain: navy lettering with a white rim, straight on the cloth.
        const TextStyle style{pal::Blue, pal::BlueDark, pal::BlueDark, pal::White, 1, 0, 0};
        return FitInBox(RenderText(letters, style, key), width, height, true);
    }
    // Lit: the same words in red on a yellow tag two pixels larger all round.
    Image img(width, height, key);
    FillRoundRect(img, 0, 0, width, height, 5, pal::Outline);
    FillRoundRect(img, 1, 1, width - 1, height - 1, 4, pal::Gold);
    FillRoundRect(img, 1, 1, width - 1, height - 3, 4, pal::Yellow);
    const TextStyle style{pal::Pink, pal::Red, pal::DarkRed, 0, 0, 0, 0};
    PasteCentred(img, RenderText(letters, style, key), 0, 0, width, height - 1);
    return img;
}

Image DrawCaption(int width, int height, std::uint8_t key) {
    const TextStyle style{pal::White, pal::White, pal::Cream, pal::Outline, 1, 0, 0};
    const Image text = RenderText(TextMask("KEEP SWATTING -", 1), style, key);
    Image img(width, height, key);
    Paste(img, text, width - text.Width(), (height - text.Height()) / 2);
    return img;
}

Image DrawLetterGlyph(int n, int width, std::uint8_t key) {
    Image img(width, 15, key);
    const Strokes& s = kLetters[n];
    for (int row = 0; row < 13; ++row)
        for (int col = 0; col < static_cast<int>(s[row].size()); ++col)
            if (s[row][col] == '#') {
                const int y = row + 1;
                img.Set(col + kLetterInset[n], y,
                        y < 6   ? pal::Pink
                        : y < 9 ? pal::Red
                                : pal::DarkRed);
            }
    // No rim: a rim would close the gap under the i's dot and swallow the t's bar, and
    // the red reads well enough on the pale cloth.
    return img;
}
