#include "tools/mode_art.h"

#include <cmath>
#include <cstdlib>

#include "tools/critters.h"
#include "tools/draw.h"
#include "tools/palette.h"
#include "tools/pixel_font.h"
#include "tools/text_art.h"

namespace {

constexpr TextStyle kBig{pal::White, pal::Yellow, pal::Gold, pal::Outline, 2, pal::FeltDark, 2};

constexpr const char* kSpeedWords[4] = {"SLOW", "NORMAL", "FAST", "CRAZY"};

}  // namespace

Image DrawFeltTile(std::uint8_t key) {
    Image img(16, 16, key);
    FillRect(img, 0, 0, 16, 16, pal::Felt);
    // A faint quilted stitch, offset so the tiles read as one cloth.
    for (int i = 0; i < 16; i += 2) {
        img.Set(i, i, pal::FeltLight);
        img.Set(15 - i, i, pal::FeltDark);
    }
    return img;
}

Image DrawCountText(const char* text, std::uint8_t key) {
    return RenderText(Smooth2x(Smooth2x(TextMask(text, 1))), kBig, key);
}

Image DrawSlimOne(std::uint8_t key) {
    const Mask one = MaskFromRows({".#", "##", ".#", ".#", ".#", ".#", ".#"});
    return RenderText(Smooth2x(Smooth2x(one)), kBig, key);
}

Image DrawSpeedCaption(int speed, std::uint8_t key) {
    static constexpr TextStyle kStyles[4] = {
        {pal::White, pal::GreenLight, pal::Green, pal::Outline, 2, pal::FeltDark, 2},
        {pal::White, pal::Yellow, pal::Gold, pal::Outline, 2, pal::FeltDark, 2},
        {pal::Yellow, pal::Gold, pal::Orange, pal::Outline, 2, pal::FeltDark, 2},
        {pal::Pink, pal::Red, pal::DarkRed, pal::Outline, 2, pal::FeltDark, 2},
    };
    const Image word = RenderText(Smooth3x(TextMask(kSpeedWords[speed], 1)), kStyles[speed], key);
    // Speed streaks trail the two fast words.
    const int streaks = speed < 2 ? 0 : speed;
    const int lead = streaks > 0 ? 3 + 4 * streaks : 0;
    Image img(word.Width() + lead, word.Height(), key);
    for (int i = 0; i < streaks; ++i) {
        const int y = word.Height() / 2 - 1 + (2 * i - (streaks - 1)) * 3;
        const int x0 = (i + streaks) % 2 * 3;
        FillRect(img, x0, y - 1, lead, y + 2, pal::Outline);
        FillRect(img, x0 + 1, y, lead - 1, y + 1, kStyles[speed].upper);
    }
    Paste(img, word, lead, 0);
    return img;
}

Image DrawArrow(bool pointing_left, bool enabled, std::uint8_t key) {
    Image img(11, 18, key);
    const std::uint8_t fill = enabled ? pal::Yellow : pal::Grey1;
    const std::uint8_t lit = enabled ? pal::White : pal::Grey2;
    const std::uint8_t edge = enabled ? pal::Outline : pal::FeltDark;
    for (int y = 1; y < 17; ++y) {
        const int d = static_cast<int>(std::lround(std::abs(y + 0.5 - 9.0)));
        for (int x = 1 + d; x < 10; ++x) img.Set(x, y, y < 9 ? lit : fill);
        img.Set(1 + d, y, fill);
    }
    Outline(img, edge, false);
    return pointing_left ? img : MirrorX(img);
}

Image DrawButton(int width, int height, const char* label, bool go, std::uint8_t key) {
    Image img(width, height, key);
    const std::uint8_t dark = go ? pal::GreenDark : pal::BlueDark;
    const std::uint8_t mid = go ? pal::Green : pal::Blue;
    const std::uint8_t light = go ? pal::GreenLight : pal::BlueLight;
    FillRoundRect(img, 0, 0, width, height, 10, pal::Outline);
    FillRoundRect(img, 1, 1, width - 1, height - 1, 9, dark);
    FillRoundRect(img, 1, 1, width - 1, height - 4, 9, mid);
    FillRoundRect(img, 4, 3, width - 4, height / 2, 6, light);
    FillRoundRect(img, 4, 6, width - 4, height - 6, 6, mid);
    const TextStyle style{pal::White, pal::White, pal::Cream, pal::Outline, 2, dark, 2};
    const Image text = RenderText(Smooth3x(TextMask(label, 1)), style, key);
    PasteCentred(img, text, 0, -1, width, height);
    if (go) {
        const Image fly = DrawFly(true, key);
        const int gap = (width - text.Width()) / 4;
        Paste(img, fly, gap - 10, (height - 20) / 2 - 1);
        Paste(img, MirrorX(fly), width - gap - 9, (height - 20) / 2 - 1);
    }
    return img;
}
