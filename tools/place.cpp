#include "tools/place.h"

#include <cstdio>
#include <cstdlib>

#include "tools/draw.h"

void Place(Image& sheet, const Image& sprite, const Rect& where) {
    if (sprite.Width() != where.Width() || sprite.Height() != where.Height()) {
        std::fprintf(
            stderr, "zumble_assets: sprite %dx%d does not fit its place %dx%d at (%d, %d)\n",
            sprite.Width(), sprite.Height(), where.Width(), where.Height(), where.left, where.top);
        std::exit(1);
    }
    Paste(sheet, sprite, where.left, where.top);
}

Image FitInBox(const Image& art, int width, int height, bool centred) {
    if (art.Width() > width || art.Height() > height) {
        std::fprintf(stderr, "zumble_assets: picture %dx%d is larger than its box %dx%d\n",
                     art.Width(), art.Height(), width, height);
        std::exit(1);
    }
    Image img(width, height, art.Key());
    const int x = centred ? (width - art.Width()) / 2 : 0;
    Paste(img, art, x, (height - art.Height()) / 2);
    return img;
}
