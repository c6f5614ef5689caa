#include "tools/text_art.h"

namespace {

// Grows the mask by w pixels; the two-pixel growth leaves the far corners off so
// outlines stay round.
bool Near(const Mask& m, int x, int y, int w) {
    for (int dy = -w; dy <= w; ++dy)
        for (int dx = -w; dx <= w; ++dx) {
            if (w == 2 && (dx == -2 || dx == 2) && (dy == -2 || dy == 2)) continue;
            if (m.Get(x + dx, y + dy)) return true;
        }
    return false;
}

}  // namespace

Image RenderText(const Mask& mask, const TextStyle& style, std::uint8_t key) {
    const int w = style.outline_width;
    const int s = style.shadow_offset;
    Image img(mask.width + 2 * w + s, mask.height + 2 * w + s, key);
    if (s > 0) {
        for (int y = 0; y < img.Height(); ++y)
            for (int x = 0; x < img.Width(); ++x)
                if (Near(mask, x - w - s, y - w - s, w)) img.Set(x, y, style.shadow);
    }
    if (w > 0) {
        for (int y = 0; y < img.Height(); ++y)
            for (int x = 0; x < img.Width(); ++x)
                if (Near(mask, x - w, y - w, w)) img.Set(x, y, style.outline);
    }
    const int split = mask.height / 2;
    for (int y = 0; y < mask.height; ++y) {
        for (int x = 0; x < mask.width; ++x) {
            if (!mask.Get(x, y)) continue;
            std::uint8_t c = y < split ? style.upper : style.lower;
            if (!mask.Get(x, y - 1)) c = style.shine;
            img.Set(x + w, y + w, c);
        }
    }
    return img;
}
