#include "tools/icons.h"

#include <algorithm>

#include "tools/critters.h"
#include "tools/palette.h"

namespace {

constexpr int kArt = 32;  // the icon is drawn once at this size, in the game's pixels

// The swatter raised over the fly, as the player sees it just before a swat.
std::vector<std::uint8_t> ArtRgba() {
    const auto colours = pal::SceneColours();
    std::vector<std::uint8_t> rgba(kArt * kArt * 4, 0);
    auto paint = [&](const Image& sprite, int left, int top) {
        for (int y = 0; y < sprite.Height(); ++y)
            for (int x = 0; x < sprite.Width(); ++x) {
                if (!sprite.Opaque(x, y) || left + x >= kArt || top + y >= kArt) continue;
                const pal::Rgb c = colours[sprite.At(x, y)];
                std::uint8_t* p = &rgba[4 * ((top + y) * kArt + left + x)];
                p[0] = c.r;
                p[1] = c.g;
                p[2] = c.b;
                p[3] = 255;
            }
    };
    paint(DrawFly(true, pal::Key), 1, 11);
    paint(DrawSwatterUp(pal::Key), 13, 1);
    return rgba;
}

// Area-weighted resampling in whole numbers (so every build makes the same bytes), with
// the colours weighted by their cover so see-through pixels do not darken the edges. A
// whole-number enlargement keeps the pixels sharp, as the game shows them.
std::vector<std::uint8_t> Resample(const std::vector<std::uint8_t>& src, int from, int to) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(to) * to * 4, 0);
    // Destination pixel j spans [j*from, (j+1)*from) and source pixel i spans
    // [i*to, (i+1)*to), both in units of 1/(from*to) of the picture.
    auto overlap = [&](int j, int i) {
        const int lo = std::max(j * from, i * to), hi = std::min((j + 1) * from, (i + 1) * to);
        return hi > lo ? hi - lo : 0;
    };
    for (int y = 0; y < to; ++y)
        for (int x = 0; x < to; ++x) {
            long long cover = 0, weight = 0, colour[3] = {0, 0, 0};
            for (int sy = y * from / to; sy < from && sy * to < (y + 1) * from; ++sy)
                for (int sx = x * from / to; sx < from && sx * to < (x + 1) * from; ++sx) {
                    const long long w = static_cast<long long>(overlap(x, sx)) * overlap(y, sy);
                    const std::uint8_t* p = &src[4 * (sy * from + sx)];
                    weight += w;
                    cover += w * p[3];
                    for (int k = 0; k < 3; ++k) colour[k] += w * p[3] * p[k];
                }
            std::uint8_t* q = &out[4 * (y * to + x)];
            q[3] = static_cast<std::uint8_t>((cover + weight / 2) / weight);
            if (cover > 0)
                for (int k = 0; k < 3; ++k)
                    q[k] = static_cast<std::uint8_t>((colour[k] + cover / 2) / cover);
        }
    return out;
}

}  // namespace

std::vector<std::uint8_t> BuildIcon(int size) {
    const std::vector<std::uint8_t> art = ArtRgba();
    if (size % kArt != 0) return Resample(art, kArt, size);
    // Whole factors: each game pixel becomes a square block.
    const int f = size / kArt;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(size) * size * 4);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            for (int k = 0; k < 4; ++k)
                out[4 * (y * size + x) + k] = art[4 * ((y / f) * kArt + x / f) + k];
    return out;
}
