#include "tools/draw.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

void FillRect(Image& img, int left, int top, int right, int bottom, std::uint8_t colour) {
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) img.Set(x, y, colour);
}

void FrameRect(Image& img, int left, int top, int right, int bottom, std::uint8_t colour) {
    for (int x = left; x < right; ++x) {
        img.Set(x, top, colour);
        img.Set(x, bottom - 1, colour);
    }
    for (int y = top; y < bottom; ++y) {
        img.Set(left, y, colour);
        img.Set(right - 1, y, colour);
    }
}

void FillRoundRect(Image& img, int left, int top, int right, int bottom, int radius,
                   std::uint8_t colour) {
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            // Distance from the pixel centre to the nearest point of the inner rectangle.
            const double px = x + 0.5;
            const double py = y + 0.5;
            const double ix = std::clamp(px, static_cast<double>(left + radius),
                                         static_cast<double>(right - radius));
            const double iy = std::clamp(py, static_cast<double>(top + radius),
                                         static_cast<double>(bottom - radius));
            const double dx = px - ix;
            const double dy = py - iy;
            if (dx * dx + dy * dy <= radius * radius + 0.01) img.Set(x, y, colour);
        }
    }
}

void FillEllipse(Image& img, double cx, double cy, double rx, double ry, std::uint8_t colour) {
    const int x0 = static_cast<int>(std::floor(cx - rx - 1));
    const int x1 = static_cast<int>(std::ceil(cx + rx + 1));
    const int y0 = static_cast<int>(std::floor(cy - ry - 1));
    const int y1 = static_cast<int>(std::ceil(cy + ry + 1));
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            const double dx = (x + 0.5 - cx) / rx;
            const double dy = (y + 0.5 - cy) / ry;
            if (dx * dx + dy * dy <= 1.0) img.Set(x, y, colour);
        }
    }
}

void FillTurnedEllipse(Image& img, double cx, double cy, double rx, double ry, double degrees,
                       std::uint8_t colour) {
    const double a = degrees * 3.14159265358979 / 180.0;
    const double ca = std::cos(a);
    const double sa = std::sin(a);
    const double reach = std::max(rx, ry) + 1;
    for (int y = static_cast<int>(std::floor(cy - reach));
         y <= static_cast<int>(std::ceil(cy + reach)); ++y) {
        for (int x = static_cast<int>(std::floor(cx - reach));
             x <= static_cast<int>(std::ceil(cx + reach)); ++x) {
            const double px = x + 0.5 - cx;
            const double py = y + 0.5 - cy;
            const double u = (px * ca + py * sa) / rx;
            const double v = (-px * sa + py * ca) / ry;
            if (u * u + v * v <= 1.0) img.Set(x, y, colour);
        }
    }
}

void DrawLine(Image& img, int x0, int y0, int x1, int y1, std::uint8_t colour) {
    const int dx = std::abs(x1 - x0);
    const int dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        img.Set(x0, y0, colour);
        if (x0 == x1 && y0 == y1) break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

void DrawThickLine(Image& img, double x0, double y0, double x1, double y1, double radius,
                   std::uint8_t colour) {
    const int left = static_cast<int>(std::floor(std::min(x0, x1) - radius - 1));
    const int right = static_cast<int>(std::ceil(std::max(x0, x1) + radius + 1));
    const int top = static_cast<int>(std::floor(std::min(y0, y1) - radius - 1));
    const int bottom = static_cast<int>(std::ceil(std::max(y0, y1) + radius + 1));
    const double vx = x1 - x0;
    const double vy = y1 - y0;
    const double len2 = vx * vx + vy * vy;
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            const double px = x + 0.5 - x0;
            const double py = y + 0.5 - y0;
            const double t = len2 > 0 ? std::clamp((px * vx + py * vy) / len2, 0.0, 1.0) : 0.0;
            const double dx = px - t * vx;
            const double dy = py - t * vy;
            if (dx * dx + dy * dy <= radius * radius) img.Set(x, y, colour);
        }
    }
}

void Outline(Image& img, std::uint8_t colour, bool corners) {
    const Image before = img;
    for (int y = 0; y < img.Height(); ++y) {
        for (int x = 0; x < img.Width(); ++x) {
            if (before.Opaque(x, y)) continue;
            bool touches = before.Opaque(x - 1, y) || before.Opaque(x + 1, y) ||
                           before.Opaque(x, y - 1) || before.Opaque(x, y + 1);
            if (corners && !touches)
                touches = before.Opaque(x - 1, y - 1) || before.Opaque(x + 1, y - 1) ||
                          before.Opaque(x - 1, y + 1) || before.Opaque(x + 1, y + 1);
            if (touches) img.Set(x, y, colour);
        }
    }
}

void Recolour(Image& img, std::initializer_list<std::pair<std::uint8_t, std::uint8_t>> map) {
    for (int y = 0; y < img.Height(); ++y) {
        for (int x = 0; x < img.Width(); ++x) {
            const std::uint8_t c = img.At(x, y);
            if (c == img.Key()) continue;
            for (const auto& [from, to] : map) {
                if (c == from) {
                    img.Set(x, y, to);
                    break;
                }
            }
        }
    }
}

void Stamp(Image& img, int x, int y, std::initializer_list<std::string_view> rows,
           std::initializer_list<Ink> legend) {
    int row = 0;
    for (std::string_view line : rows) {
        for (int col = 0; col < static_cast<int>(line.size()); ++col) {
            for (const Ink& ink : legend) {
                if (ink.symbol == line[col]) {
                    img.Set(x + col, y + row, ink.colour);
                    break;
                }
            }
        }
        ++row;
    }
}

void Paste(Image& dst, const Image& src, int x, int y) {
    for (int sy = 0; sy < src.Height(); ++sy)
        for (int sx = 0; sx < src.Width(); ++sx)
            if (src.Opaque(sx, sy)) dst.Set(x + sx, y + sy, src.At(sx, sy));
}

void PasteCentred(Image& dst, const Image& src, int left, int top, int width, int height) {
    Paste(dst, src, left + (width - src.Width()) / 2, top + (height - src.Height()) / 2);
}

Image MirrorX(const Image& src) {
    Image out(src.Width(), src.Height(), src.Key());
    for (int y = 0; y < src.Height(); ++y)
        for (int x = 0; x < src.Width(); ++x) out.Set(src.Width() - 1 - x, y, src.At(x, y));
    return out;
}
