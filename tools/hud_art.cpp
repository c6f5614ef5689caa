#include "tools/hud_art.h"

#include <cmath>

#include "tools/critters.h"
#include "tools/draw.h"
#include "tools/palette.h"
#include "tools/pixel_font.h"
#include "tools/text_art.h"

namespace {

void Star(Image& img, double cx, double cy, double r, std::uint8_t fill, std::uint8_t edge) {
    Image star(img.Width(), img.Height(), img.Key());
    for (int i = 0; i < 5; ++i) {
        const double a = (-90.0 + i * 72.0) * 3.14159265358979 / 180.0;
        DrawThickLine(star, cx, cy, cx + std::cos(a) * r, cy + std::sin(a) * r, 1.1, fill);
    }
    FillEllipse(star, cx, cy, r * 0.45, r * 0.45, fill);
    Outline(star, edge, false);
    Paste(img, star, 0, 0);
}

}  // namespace

Image DrawFlyCountLabel(std::uint8_t key) {
    // A gold coin behind the fly keeps it from vanishing into the dark plate.
    Image img(20, 19, key);
    FillEllipse(img, 10.0, 9.5, 9.8, 9.3, pal::Outline);
    FillEllipse(img, 10.0, 9.5, 8.8, 8.3, pal::Gold);
    FillEllipse(img, 10.0, 9.5, 7.6, 7.1, pal::Yellow);
    const Image fly = DrawFly(true, key);
    Paste(img, fly, 0, -1);
    return img;
}

Image DrawClockLabel(std::uint8_t key) {
    Image img(25, 31, key);
    FillRect(img, 10, 1, 15, 4, pal::Gold);                        // crown
    FillRect(img, 11, 4, 14, 7, pal::Grey3);                       // stem
    FillTurnedEllipse(img, 20.0, 7.0, 1.6, 2.4, 45.0, pal::Gold);  // lap button
    FillEllipse(img, 12.5, 18.5, 11.0, 11.0, pal::Gold);
    FillEllipse(img, 12.0, 18.0, 9.6, 9.6, pal::Yellow);
    FillEllipse(img, 12.5, 18.5, 8.5, 8.5, pal::White);
    FillEllipse(img, 13.5, 19.5, 7.5, 7.5, pal::Grey3);
    FillEllipse(img, 12.5, 18.5, 7.5, 7.5, pal::White);
    Outline(img, pal::Outline, false);
    for (int i = 0; i < 12; ++i) {
        const double a = i * 30.0 * 3.14159265358979 / 180.0;
        const int x = static_cast<int>(std::floor(12.5 + std::cos(a) * 6.6));
        const int y = static_cast<int>(std::floor(18.5 + std::sin(a) * 6.6));
        img.Set(x, y, i % 3 == 0 ? pal::Outline : pal::Grey2);
    }
    DrawLine(img, 12, 18, 12, 13, pal::Outline);  // minute hand
    DrawLine(img, 12, 18, 16, 15, pal::Red);      // second hand
    img.Set(12, 18, pal::DarkRed);
    return img;
}

Image DrawSwatCountLabel(std::uint8_t key) {
    Image img(31, 31, key);
    Star(img, 11.0, 11.0, 10.5, pal::Yellow, pal::Orange);
    Image swatter(31, 31, key);
    FillTurnedEllipse(swatter, 12.5, 12.5, 7.5, 7.0, 45.0, pal::Red);
    FillTurnedEllipse(swatter, 11.5, 11.5, 5.5, 5.0, 45.0, pal::Red);
    DrawLine(swatter, 7, 9, 9, 7, pal::Pink);
    DrawThickLine(swatter, 18.0, 18.0, 24.0, 24.0, 1.0, pal::Grey3);
    DrawThickLine(swatter, 24.0, 24.0, 27.5, 27.5, 1.7, pal::Red);
    Outline(swatter, pal::Outline, false);
    for (int y = 8; y < 18; y += 2)
        for (int x = 8; x < 18; x += 2)
            if (swatter.At(x, y) == pal::Red && swatter.At(x + 1, y + 1) == pal::Red &&
                swatter.At(x - 1, y - 1) == pal::Red)
                swatter.Set(x, y, pal::DarkRed);
    Paste(img, swatter, 0, 0);
    return img;
}

Image DrawResultsBoard(std::uint8_t key) {
    Image img(148, 38, key);
    FillRoundRect(img, 0, 0, 148, 38, 8, pal::Outline);
    FillRoundRect(img, 1, 1, 147, 37, 7, pal::Gold);
    FillRoundRect(img, 3, 3, 145, 35, 5, pal::Outline);
    FillRoundRect(img, 4, 4, 144, 34, 4, pal::Plate);
    FillRect(img, 8, 5, 140, 6, pal::PlateEdge);
    const TextStyle gold{pal::White, pal::Yellow, pal::Gold, pal::Outline, 1, pal::PlateDark, 1};
    const Image text = RenderText(Smooth2x(TextMask("BEST TIMES", 1)), gold, key);
    PasteCentred(img, text, 0, 1, 148, 38);
    Star(img, 10.0, 19.0, 4.2, pal::Yellow, pal::Outline);
    Star(img, 138.0, 19.0, 4.2, pal::Yellow, pal::Outline);
    return img;
}
