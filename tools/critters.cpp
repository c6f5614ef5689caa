#include "tools/critters.h"

#include <cmath>

#include "tools/draw.h"
#include "tools/palette.h"
#include "tools/prng.h"

namespace {

// Colours pixels that already hold `where` (paints inside a shape without leaving it).
void Tint(Image& img, int x, int y, std::uint8_t where, std::uint8_t colour) {
    if (img.At(x, y) == where) img.Set(x, y, colour);
}

void PunchMesh(Image& img, int left, int top, int right, int bottom) {
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            if (x % 2 == left % 2 && y % 2 == top % 2) img.Set(x, y, img.Key());
}

}  // namespace

Image DrawFly(bool wings_spread, std::uint8_t key) {
    const int w = wings_spread ? 19 : 17;
    Image img(w, 20, key);
    const int c = w / 2;
    const double cx = c + 0.5;
    for (int side : {-1, 1}) {
        if (wings_spread) {
            FillTurnedEllipse(img, cx + side * 4.6, 11.0, 2.7, 5.6, side * -38.0, pal::WingMid);
            FillTurnedEllipse(img, cx + side * 4.4, 10.4, 1.6, 4.3, side * -38.0, pal::WingLight);
        } else {
            FillTurnedEllipse(img, cx + side * 2.4, 12.4, 2.4, 5.6, side * -12.0, pal::WingMid);
            FillTurnedEllipse(img, cx + side * 2.6, 12.0, 1.3, 4.4, side * -12.0, pal::WingLight);
        }
    }
    FillEllipse(img, cx, 12.6, 3.0, 4.3, pal::FlyBody);
    for (int x = c - 3; x <= c + 3; ++x) {
        Tint(img, x, 12, pal::FlyBody, pal::FlyDark);
        Tint(img, x, 14, pal::FlyBody, pal::FlyDark);
    }
    FillEllipse(img, cx, 8.2, 3.3, 2.5, pal::FlyBody);
    img.Set(c - 1, 7, pal::FlyShine);
    img.Set(c, 7, pal::FlyShine);
    img.Set(c - 1, 11, pal::FlyShine);
    FillEllipse(img, cx, 4.3, 3.6, 2.2, pal::FlyDark);
    for (int side : {-1, 1}) FillEllipse(img, cx + side * 2.1, 3.9, 1.8, 2.1, pal::EyeRed);
    img.Set(c - 3, 3, pal::EyeShine);
    img.Set(c + 1, 3, pal::EyeShine);
    Outline(img, pal::Outline, false);
    // Thin legs go on after the outline so they stay one pixel wide.
    for (int side : {-1, 1}) {
        DrawLine(img, c + side * 3, 7, c + side * 5, 5, pal::Outline);
        DrawLine(img, c + side * 5, 5, c + side * 5, 3, pal::Outline);
        if (!wings_spread) {
            DrawLine(img, c + side * 4, 9, c + side * 7, 10, pal::Outline);
            DrawLine(img, c + side * 3, 12, c + side * 6, 15, pal::Outline);
            DrawLine(img, c + side * 6, 15, c + side * 6, 17, pal::Outline);
        }
    }
    return img;
}

Image DrawDeadFly(std::uint8_t key) {
    Image img(23, 23, key);
    const int c = 11;
    const double cx = 11.5;
    for (int side : {-1, 1}) {
        FillTurnedEllipse(img, cx + side * 5.0, 9.0, 2.6, 5.2, side * 25.0, pal::WingMid);
        FillTurnedEllipse(img, cx + side * 5.2, 8.4, 1.4, 3.8, side * 25.0, pal::WingLight);
    }
    FillEllipse(img, cx, 8.8, 3.7, 5.2, pal::FlyBelly);
    FillEllipse(img, cx - 0.8, 7.6, 1.8, 3.2, pal::FlyBellyLight);
    for (int y : {6, 9, 12})
        for (int x = c - 4; x <= c + 4; ++x) {
            Tint(img, x, y, pal::FlyBelly, pal::Grey1);
            Tint(img, x, y, pal::FlyBellyLight, pal::Grey2);
        }
    FillEllipse(img, cx, 14.8, 3.6, 2.4, pal::FlyBelly);
    img.Set(c - 1, 14, pal::FlyBellyLight);
    FillEllipse(img, cx, 18.2, 3.4, 2.1, pal::FlyDark);
    for (int side : {-1, 1}) FillEllipse(img, cx + side * 2.0, 18.6, 1.6, 1.8, pal::EyeRed);
    Outline(img, pal::Outline, false);
    // Legs: out from the thorax, bent at the knee, feet curled up in the air.
    const double legs[3][6] = {{3.0, 13.5, 7.0, 12.5, 8.0, 8.5},
                               {3.5, 15.5, 8.5, 16.0, 10.0, 12.5},
                               {3.0, 17.0, 6.5, 20.0, 9.5, 20.5}};
    for (int side : {-1, 1}) {
        for (const auto& leg : legs) {
            DrawThickLine(img, cx + side * leg[0], leg[1], cx + side * leg[2], leg[3], 0.6,
                          pal::Outline);
            DrawThickLine(img, cx + side * leg[2], leg[3], cx + side * leg[4], leg[5], 0.6,
                          pal::Outline);
        }
    }
    return img;
}

Image DrawSwatterDown(std::uint8_t key) {
    Image img(16, 32, key);
    FillRoundRect(img, 1, 1, 15, 16, 3, pal::Red);
    FillRect(img, 2, 2, 14, 3, pal::Pink);
    FillRect(img, 2, 3, 3, 14, pal::Pink);
    FillRect(img, 6, 16, 10, 18, pal::DarkRed);  // collar
    FillRect(img, 7, 18, 9, 26, pal::Grey3);
    FillRect(img, 7, 18, 8, 26, pal::White);
    FillRoundRect(img, 6, 25, 10, 31, 1, pal::Red);
    FillRect(img, 6, 26, 7, 30, pal::Pink);
    Outline(img, pal::Outline, false);
    PunchMesh(img, 4, 4, 13, 14);
    return img;
}

Image DrawSwatterUp(std::uint8_t key) {
    Image img(18, 30, key);
    FillRoundRect(img, 5, 1, 17, 14, 3, pal::Red);
    FillRect(img, 6, 2, 16, 3, pal::Pink);
    FillRect(img, 6, 3, 7, 12, pal::Pink);
    DrawThickLine(img, 11.0, 14.0, 5.0, 23.0, 0.9, pal::Grey3);
    DrawLine(img, 10, 14, 5, 21, pal::White);
    DrawThickLine(img, 5.0, 23.0, 3.2, 27.6, 1.6, pal::Red);
    img.Set(3, 25, pal::Pink);
    FillRect(img, 9, 13, 13, 15, pal::DarkRed);
    Outline(img, pal::Outline, false);
    PunchMesh(img, 8, 4, 15, 12);
    return img;
}

Image DrawSplat(int width, int height, int stage, std::uint8_t key) {
    Image img(width, height, key);
    const double cx = width / 2.0;
    const double cy = height / 2.0;
    const double size = stage == 0 ? 1.0 : stage == 1 ? 0.9 : 0.75;
    const std::uint8_t fill = stage == 0 ? pal::Guts : stage == 1 ? pal::Stain : pal::StainFaint;
    const std::uint8_t edge = stage == 0 ? pal::GutsDark : stage == 1 ? pal::StainDark : pal::Stain;
    Prng rng(1234);  // the same blot shape at every stage, drying up
    FillEllipse(img, cx, cy, 4.4 * size, 3.9 * size, fill);
    for (int i = 0; i < 8; ++i) {
        const double a = (i * 45.0 + rng.Below(30)) * 3.14159265358979 / 180.0;
        const double reach = (3.5 + rng.Below(30) / 10.0) * size;
        const double r = (0.9 + rng.Below(12) / 10.0) * size;
        DrawThickLine(img, cx, cy, cx + std::cos(a) * reach, cy + std::sin(a) * reach, r * 0.8,
                      fill);
        if (stage < 2 || i % 2 == 0) {
            const double far = reach + 2.2 + rng.Below(10) / 10.0;
            FillEllipse(img, cx + std::cos(a) * far, cy + std::sin(a) * far, 0.9 * size, 0.9 * size,
                        fill);
        }
    }
    Outline(img, edge, false);
    if (stage == 0) {
        FillEllipse(img, cx - 1.2, cy - 1.0, 1.6, 1.2, pal::GutsLight);
        img.Set(static_cast<int>(cx) + 1, static_cast<int>(cy) + 1, pal::GutsDark);
    } else if (stage == 1) {
        FillEllipse(img, cx - 0.8, cy - 0.8, 1.4, 1.0, pal::StainFaint);
    }
    return img;
}

Image DrawWingScrap(std::uint8_t key) {
    Image img(8, 8, key);
    FillTurnedEllipse(img, 4.0, 4.0, 1.8, 3.2, 35.0, pal::WingLight);
    img.Set(4, 5, pal::WingMid);
    img.Set(3, 4, pal::WingMid);
    Outline(img, pal::WingEdge, false);
    return img;
}

Image DrawGooDrop(std::uint8_t key) {
    Image img(8, 8, key);
    FillEllipse(img, 4.0, 4.0, 2.6, 2.6, pal::Guts);
    img.Set(3, 3, pal::GutsLight);
    Outline(img, pal::GutsDark, false);
    return img;
}
