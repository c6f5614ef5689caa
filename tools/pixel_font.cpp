#include "tools/pixel_font.h"

#include <algorithm>
#include <array>

namespace {

struct Glyph {
    char ch;
    std::array<const char*, 7> rows;
};

// 5x7 capitals, digits, the lower-case letters of the game's name, and punctuation.
// Blank columns are trimmed when text is set, so narrow letters stay narrow.
// clang-format off
constexpr Glyph kGlyphs[] = {
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'B', {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
    {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'I', {"###", ".#.", ".#.", ".#.", ".#.", ".#.", "###"}},
    {'J', {"..###", "...#.", "...#.", "...#.", "#..#.", "#..#.", ".##.."}},
    {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'N', {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'Q', {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#"}},
    {'X', {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}},
    {'Y', {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."}},
    {'Z', {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"}},
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', {".#.", "##.", ".#.", ".#.", ".#.", ".#.", "###"}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"####.", "....#", "....#", ".###.", "....#", "....#", "####."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {".###.", "#....", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "....#", ".###."}},
    {'b', {"#....", "#....", "####.", "#...#", "#...#", "#...#", "####."}},
    {'e', {".....", ".....", ".###.", "#...#", "#####", "#....", ".####"}},
    {'l', {"##", ".#", ".#", ".#", ".#", ".#", ".#"}},
    {'m', {".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"}},
    {'u', {".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"}},
    {'!', {"#", "#", "#", "#", "#", ".", "#"}},
    {':', {".", "#", ".", ".", ".", "#", "."}},
    {'.', {".", ".", ".", ".", ".", ".", "#"}},
    {',', {"..", "..", "..", "..", "..", ".#", "#."}},
    {'-', {"...", "...", "...", "###", "...", "...", "..."}},
    {'\'', {"#", "#", ".", ".", ".", ".", "."}},
    {'/', {"....#", "...#.", "...#.", "..#..", ".#...", ".#...", "#...."}},
    {' ', {"...", "...", "...", "...", "...", "...", "..."}},
};
// clang-format on

const Glyph* Find(char ch) {
    for (const Glyph& g : kGlyphs)
        if (g.ch == ch) return &g;
    return nullptr;
}

int Columns(const Glyph& g) {
    int n = 0;
    while (g.rows[0][n] != '\0') ++n;
    return n;
}

}  // namespace

Mask::Mask(int width, int height)
    : width(width),
      height(height),
      bits(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0) {}

bool Mask::Get(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return false;
    return bits[static_cast<std::size_t>(y) * width + x] != 0;
}

void Mask::Put(int x, int y, bool on) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    bits[static_cast<std::size_t>(y) * width + x] = on ? 1 : 0;
}

Mask TextMask(std::string_view text, int gap) {
    int width = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Glyph* g = Find(text[i]);
        if (g == nullptr) continue;
        width += Columns(*g) + (i + 1 < text.size() ? gap : 0);
    }
    Mask mask(width, 7);
    int pen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Glyph* g = Find(text[i]);
        if (g == nullptr) continue;
        const int cols = Columns(*g);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < cols; ++x)
                if (g->rows[y][x] == '#') mask.Put(pen + x, y, true);
        pen += cols + gap;
    }
    return mask;
}

Mask MaskFromRows(std::initializer_list<std::string_view> rows) {
    int width = 0;
    for (std::string_view r : rows) width = std::max(width, static_cast<int>(r.size()));
    Mask mask(width, static_cast<int>(rows.size()));
    int y = 0;
    for (std::string_view r : rows) {
        for (int x = 0; x < static_cast<int>(r.size()); ++x) mask.Put(x, y, r[x] == '#');
        ++y;
    }
    return mask;
}

Mask Smooth2x(const Mask& m) {
    // Doubling that rounds off stair-steps: a corner pixel takes the colour of its two
    // outer neighbours when they agree (the classic Scale2x rule).
    Mask out(m.width * 2, m.height * 2);
    for (int y = 0; y < m.height; ++y) {
        for (int x = 0; x < m.width; ++x) {
            const bool p = m.Get(x, y);
            const bool a = m.Get(x, y - 1);
            const bool b = m.Get(x + 1, y);
            const bool c = m.Get(x - 1, y);
            const bool d = m.Get(x, y + 1);
            bool e0 = p, e1 = p, e2 = p, e3 = p;
            if (b != c && a != d) {
                e0 = c == a ? a : p;
                e1 = a == b ? b : p;
                e2 = d == c ? c : p;
                e3 = b == d ? d : p;
            }
            out.Put(2 * x, 2 * y, e0);
            out.Put(2 * x + 1, 2 * y, e1);
            out.Put(2 * x, 2 * y + 1, e2);
            out.Put(2 * x + 1, 2 * y + 1, e3);
        }
    }
    return out;
}

Mask Smooth3x(const Mask& m) {
    Mask out(m.width * 3, m.height * 3);
    for (int y = 0; y < m.height; ++y) {
        for (int x = 0; x < m.width; ++x) {
            const bool a = m.Get(x - 1, y - 1), b = m.Get(x, y - 1), c = m.Get(x + 1, y - 1);
            const bool d = m.Get(x - 1, y), e = m.Get(x, y), f = m.Get(x + 1, y);
            const bool g = m.Get(x - 1, y + 1), h = m.Get(x, y + 1), i = m.Get(x + 1, y + 1);
            bool o[9] = {e, e, e, e, e, e, e, e, e};
            if (b != h && d != f) {
                o[0] = d == b ? d : e;
                o[1] = (d == b && e != c) || (b == f && e != a) ? b : e;
                o[2] = b == f ? f : e;
                o[3] = (d == b && e != g) || (d == h && e != a) ? d : e;
                o[5] = (b == f && e != i) || (h == f && e != c) ? f : e;
                o[6] = d == h ? d : e;
                o[7] = (d == h && e != i) || (h == f && e != g) ? h : e;
                o[8] = h == f ? f : e;
            }
            for (int k = 0; k < 9; ++k) out.Put(3 * x + k % 3, 3 * y + k / 3, o[k]);
        }
    }
    return out;
}

Mask Stretch(const Mask& m, int sx, int sy) {
    Mask out(m.width * sx, m.height * sy);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) out.Put(x, y, m.Get(x / sx, y / sy));
    return out;
}
