#include "tools/table_background.h"

#include <cmath>

#include "tools/draw.h"
#include "tools/palette.h"
#include "tools/prng.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kPlank = 60;

void DrawPlank(Image& img, int top, Prng& rng) {
    const int bottom = top + kPlank;
    FillRect(img, 0, top, kWidth, bottom, pal::WoodBase);
    // Long grain lines that wander gently along the plank.
    for (int i = 0; i < 9; ++i) {
        const double y0 = top + 4 + rng.Below(kPlank - 8);
        const double amp = 1.0 + rng.Below(20) / 10.0;
        const double wave = 60.0 + rng.Below(120);
        const double phase = rng.Below(628) / 100.0;
        const std::uint8_t colour = i % 3 == 0 ? pal::WoodLight : pal::WoodMid;
        int start = rng.Below(kWidth);
        const int length = 120 + rng.Below(380);
        for (int x = start; x < start + length; ++x) {
            const int y = static_cast<int>(std::lround(y0 + amp * std::sin(x / wave + phase)));
            if (y > top + 1 && y < bottom - 2) img.Set(x % kWidth, y, colour);
        }
    }
    // A knot now and then.
    if (rng.Below(3) != 0) {
        const double kx = 40 + rng.Below(kWidth - 80);
        const double ky = top + 18 + rng.Below(kPlank - 36);
        FillEllipse(img, kx, ky, 9, 5, pal::WoodMid);
        FillEllipse(img, kx, ky, 6.5, 3.4, pal::WoodBase);
        FillEllipse(img, kx, ky, 3.5, 1.8, pal::WoodMid);
        FillEllipse(img, kx, ky, 1.5, 0.8, pal::WoodDark);
    }
    // Light along the top edge, the seam and its shade below.
    FillRect(img, 0, top + 1, kWidth, top + 2, pal::WoodGlint);
    FillRect(img, 0, bottom - 2, kWidth, bottom - 1, pal::WoodDark);
    FillRect(img, 0, bottom - 1, kWidth, bottom, pal::WoodSeam);
    FillRect(img, 0, top, kWidth, top + 1, pal::WoodMid);
    // Butt joint where two boards meet.
    const int joint = 80 + rng.Below(kWidth - 160);
    FillRect(img, joint, top, joint + 1, bottom, pal::WoodSeam);
    FillRect(img, joint + 1, top, joint + 2, bottom, pal::WoodGlint);
    for (int y = top + 8; y < bottom - 6; y += 44) {
        img.Set(joint - 6, y, pal::WoodSeam);
        img.Set(joint + 7, y + 6, pal::WoodSeam);
    }
}

void DrawPlate(Image& img, int left, int top, int right, int bottom) {
    FillRoundRect(img, left + 3, top + 3, right + 3, bottom + 3, 7, pal::WoodDark);
    FillRoundRect(img, left, top, right, bottom, 7, pal::Outline);
    FillRoundRect(img, left + 1, top + 1, right - 1, bottom - 1, 6, pal::PlateEdge);
    FillRoundRect(img, left + 2, top + 3, right - 2, bottom - 2, 5, pal::PlateDark);
    FillRoundRect(img, left + 3, top + 3, right - 3, bottom - 3, 4, pal::Plate);
    // Screws in the corners.
    for (int x : {left + 5, right - 7})
        for (int y : {top + 5, bottom - 7}) {
            FillRect(img, x, y, x + 2, y + 2, pal::PlateShine);
            img.Set(x + 1, y + 1, pal::PlateDark);
        }
}

}  // namespace

Image DrawTableBackground() {
    Image img(kWidth, kHeight, pal::Key);
    Prng rng(20240611);
    for (int top = 0; top < kHeight; top += kPlank) DrawPlank(img, top, rng);
    DrawPlate(img, 24, 12, 140, 54);
    DrawPlate(img, 188, 8, 376, 54);
    DrawPlate(img, 410, 8, 620, 54);
    return img;
}
