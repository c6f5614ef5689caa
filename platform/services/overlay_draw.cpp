#include "platform/services/overlay_draw.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/services/notice.h"
#include "platform/services/splits_overlay.h"
#include "platform/services/viewer_input.h"

namespace {

// A 5x7 font of the printable ASCII characters, one row a byte, bit 4 the left column.
constexpr std::uint8_t kGlyphs[95][7] = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // space
    {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04},  // !
    {0x0A, 0x0A, 0x0A, 0x00, 0x00, 0x00, 0x00},  // "
    {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A},  // #
    {0x04, 0x0F, 0x14, 0x0E, 0x05, 0x1E, 0x04},  // $
    {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03},  // %
    {0x0C, 0x12, 0x14, 0x08, 0x15, 0x12, 0x0D},  // &
    {0x0C, 0x04, 0x08, 0x00, 0x00, 0x00, 0x00},  // '
    {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02},  // (
    {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08},  // )
    {0x00, 0x04, 0x15, 0x0E, 0x15, 0x04, 0x00},  // *
    {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00},  // +
    {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08},  // ,
    {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00},  // -
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C},  // .
    {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00},  // /
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},  // 0
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},  // 1
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},  // 2
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},  // 3
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},  // 4
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},  // 5
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},  // 6
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},  // 7
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},  // 8
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},  // 9
    {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00},  // :
    {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x04, 0x08},  // ;
    {0x02, 0x04, 0x08, 0x10, 0x08, 0x04, 0x02},  // <
    {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00},  // =
    {0x08, 0x04, 0x02, 0x01, 0x02, 0x04, 0x08},  // >
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04},  // ?
    {0x0E, 0x11, 0x01, 0x0D, 0x15, 0x15, 0x0E},  // @
    {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11},  // A
    {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E},  // B
    {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E},  // C
    {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C},  // D
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F},  // E
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10},  // F
    {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F},  // G
    {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11},  // H
    {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E},  // I
    {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C},  // J
    {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11},  // K
    {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F},  // L
    {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11},  // M
    {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11},  // N
    {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},  // O
    {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10},  // P
    {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D},  // Q
    {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11},  // R
    {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E},  // S
    {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04},  // T
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},  // U
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04},  // V
    {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A},  // W
    {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11},  // X
    {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04},  // Y
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F},  // Z
    {0x0E, 0x08, 0x08, 0x08, 0x08, 0x08, 0x0E},  // [
    {0x00, 0x10, 0x08, 0x04, 0x02, 0x01, 0x00},  // backslash
    {0x0E, 0x02, 0x02, 0x02, 0x02, 0x02, 0x0E},  // ]
    {0x04, 0x0A, 0x11, 0x00, 0x00, 0x00, 0x00},  // ^
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F},  // _
    {0x08, 0x04, 0x02, 0x00, 0x00, 0x00, 0x00},  // `
    {0x00, 0x00, 0x0E, 0x01, 0x0F, 0x11, 0x0F},  // a
    {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x1E},  // b
    {0x00, 0x00, 0x0E, 0x10, 0x10, 0x11, 0x0E},  // c
    {0x01, 0x01, 0x0D, 0x13, 0x11, 0x11, 0x0F},  // d
    {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E},  // e
    {0x06, 0x09, 0x08, 0x1C, 0x08, 0x08, 0x08},  // f
    {0x00, 0x0F, 0x11, 0x11, 0x0F, 0x01, 0x0E},  // g
    {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x11},  // h
    {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E},  // i
    {0x02, 0x00, 0x06, 0x02, 0x02, 0x12, 0x0C},  // j
    {0x10, 0x10, 0x12, 0x14, 0x18, 0x14, 0x12},  // k
    {0x0C, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E},  // l
    {0x00, 0x00, 0x1A, 0x15, 0x15, 0x11, 0x11},  // m
    {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11},  // n
    {0x00, 0x00, 0x0E, 0x11, 0x11, 0x11, 0x0E},  // o
    {0x00, 0x00, 0x1E, 0x11, 0x1E, 0x10, 0x10},  // p
    {0x00, 0x00, 0x0D, 0x13, 0x0F, 0x01, 0x01},  // q
    {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10},  // r
    {0x00, 0x00, 0x0E, 0x10, 0x0E, 0x01, 0x1E},  // s
    {0x08, 0x08, 0x1C, 0x08, 0x08, 0x09, 0x06},  // t
    {0x00, 0x00, 0x11, 0x11, 0x11, 0x13, 0x0D},  // u
    {0x00, 0x00, 0x11, 0x11, 0x11, 0x0A, 0x04},  // v
    {0x00, 0x00, 0x11, 0x11, 0x15, 0x15, 0x0A},  // w
    {0x00, 0x00, 0x11, 0x0A, 0x04, 0x0A, 0x11},  // x
    {0x00, 0x00, 0x11, 0x11, 0x0F, 0x01, 0x0E},  // y
    {0x00, 0x00, 0x1F, 0x02, 0x04, 0x08, 0x1F},  // z
    {0x02, 0x04, 0x04, 0x08, 0x04, 0x04, 0x02},  // {
    {0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04},  // |
    {0x08, 0x04, 0x04, 0x02, 0x04, 0x04, 0x08},  // }
    {0x00, 0x00, 0x08, 0x15, 0x02, 0x00, 0x00},  // ~
};

constexpr int kCellW = 6;  // a glyph and a column of space
constexpr int kLineH = 10;

struct Colour {
    int r, g, b;
};
constexpr Colour kWhite = {255, 255, 255};
constexpr Colour kBlack = {0, 0, 0};
constexpr Colour kTrail = {255, 214, 0};
constexpr Colour kClick = {255, 64, 48};
constexpr Colour kPlayed = {255, 214, 0};
constexpr Colour kTrack = {128, 128, 128};
constexpr Colour kAhead = {64, 224, 64};
constexpr Colour kBehind = {255, 72, 72};

std::uint32_t* g_layer = nullptr;

// Puts a colour over the layer's pixel ("over" with straight alpha).
void Blend(int x, int y, Colour c, double alpha) {
    if (x < 0 || y < 0 || x >= kOverlayWidth || y >= kOverlayHeight || alpha <= 0) return;
    if (alpha > 1) alpha = 1;
    std::uint32_t& p = g_layer[y * kOverlayWidth + x];
    const double da = static_cast<double>(p >> 24) / 255.0;
    const double oa = alpha + da * (1 - alpha);
    const auto mix = [&](int src, int shift) {
        const double d = static_cast<double>((p >> shift) & 0xFF);
        return static_cast<std::uint32_t>(std::lround((src * alpha + d * da * (1 - alpha)) / oa));
    };
    p = static_cast<std::uint32_t>(std::lround(oa * 255)) << 24 | mix(c.r, 16) << 16 |
        mix(c.g, 8) << 8 | mix(c.b, 0);
}

// Marks (trail, rings): a pixel takes the strongest mark drawn on it, so that the
// overlapping steps of a line do not pile up.
void Stamp(int x, int y, Colour c, double alpha) {
    if (x < 0 || y < 0 || x >= kOverlayWidth || y >= kOverlayHeight || alpha <= 0) return;
    const std::uint32_t a = static_cast<std::uint32_t>(std::lround(std::min(alpha, 1.0) * 255));
    std::uint32_t& p = g_layer[y * kOverlayWidth + x];
    if ((p >> 24) >= a) return;
    p = a << 24 | static_cast<std::uint32_t>(c.r) << 16 | static_cast<std::uint32_t>(c.g) << 8 |
        static_cast<std::uint32_t>(c.b);
}

void Fill(int x0, int y0, int x1, int y1, Colour c, double alpha) {
    for (int y = std::max(0, y0); y < std::min(kOverlayHeight, y1); ++y)
        for (int x = std::max(0, x0); x < std::min(kOverlayWidth, x1); ++x) Blend(x, y, c, alpha);
}

void Text(int x, int y, const char* text, Colour c) {
    for (; *text; ++text, x += kCellW) {
        const unsigned char ch = static_cast<unsigned char>(*text);
        if (ch < 32 || ch > 126) continue;
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col)
                if (kGlyphs[ch - 32][row] & (0x10 >> col)) Blend(x + col, y + row, c, 1.0);
    }
}

int TextWidth(const char* text) { return static_cast<int>(std::strlen(text)) * kCellW; }

// Text `scale` times as large, each glyph's pixel a square.
void BigText(int x, int y, int scale, const char* text, Colour c) {
    for (; *text; ++text, x += kCellW * scale) {
        const unsigned char ch = static_cast<unsigned char>(*text);
        if (ch < 32 || ch > 126) continue;
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col)
                if (kGlyphs[ch - 32][row] & (0x10 >> col))
                    Fill(x + col * scale, y + row * scale, x + (col + 1) * scale,
                         y + (row + 1) * scale, c, 1.0);
    }
}

// A frame `width` pixels thick inside the box.
void Frame(int x0, int y0, int x1, int y1, int width, Colour c, double alpha) {
    Fill(x0, y0, x1, y0 + width, c, alpha);
    Fill(x0, y1 - width, x1, y1, c, alpha);
    Fill(x0, y0 + width, x0 + width, y1 - width, c, alpha);
    Fill(x1 - width, y0 + width, x1, y1 - width, c, alpha);
}

// A 2-pixel line.
void Line(double x0, double y0, double x1, double y1, Colour c, double alpha) {
    const int steps =
        std::max(1, static_cast<int>(std::ceil(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0)))));
    for (int i = 0; i <= steps; ++i) {
        const double t = static_cast<double>(i) / steps;
        const int x = static_cast<int>(std::floor(x0 + (x1 - x0) * t));
        const int y = static_cast<int>(std::floor(y0 + (y1 - y0) * t));
        for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx) Stamp(x + dx, y + dy, c, alpha);
    }
}

void Ring(double cx, double cy, double radius, Colour c, double alpha) {
    const int r = static_cast<int>(std::ceil(radius)) + 1;
    for (int y = -r; y <= r; ++y)
        for (int x = -r; x <= r; ++x) {
            const double d = std::sqrt(static_cast<double>(x * x + y * y));
            if (std::fabs(d - radius) <= 1.0)
                Stamp(static_cast<int>(std::lround(cx)) + x, static_cast<int>(std::lround(cy)) + y,
                      c, alpha);
        }
}

void Help(const ViewerOverlay& o) {
    int width = 0;
    for (int i = 0; i < o.helpCount; ++i) width = std::max(width, TextWidth(o.helpLines[i]));
    const int w = width + 16, h = o.helpCount * kLineH + 12;
    const int x = (kOverlayWidth - w) / 2, y = (kOverlayHeight - h) / 2;
    Fill(x, y, x + w, y + h, kBlack, 0.8);
    for (int i = 0; i < o.helpCount; ++i) Text(x + 8, y + 7 + i * kLineH, o.helpLines[i], kWhite);
}

}  // namespace

bool DrawOverlayLayer(const ViewerOverlay& o, std::uint32_t* layer) {
    std::fill(layer, layer + kOverlayWidth * kOverlayHeight, 0u);
    if (!o.shown) return false;
    g_layer = layer;

    // The hand: the trail fades with its age, the presses fade over their second.
    for (int i = 1; i < o.trailCount; ++i) {
        const ViewerTrailPoint& a = o.trail[i - 1];
        const ViewerTrailPoint& b = o.trail[i];
        const double age = b.age / (kViewerTrailFrames / 60.0);
        Line(a.x, a.y, b.x, b.y, kTrail, 0.2 + 0.7 * (1 - age));
    }
    if (o.trailCount > 0) {
        const ViewerTrailPoint& now = o.trail[o.trailCount - 1];
        Ring(now.x, now.y, 3, kTrail, 0.9);
    }
    for (int i = 0; i < o.clickCount; ++i) {
        const ViewerClickMark& m = o.clicks[i];
        Ring(m.x, m.y, 6 + 8 * m.age, kClick, m.alpha);
    }

    Fill(0, 0, kOverlayWidth, kOverlayTopRows, kBlack, 0.6);
    Text(4, 2, o.topLine, kWhite);

    Fill(0, kOverlayBottomTop, kOverlayWidth, kOverlayHeight, kBlack, 0.6);
    Text(4, kOverlayBottomTop + 3, o.helpLine, kWhite);
    const int bx = static_cast<int>(kViewerBarX), by = static_cast<int>(kViewerBarY);
    const int bw = static_cast<int>(kViewerBarW), bh = static_cast<int>(kViewerBarH);
    const int played = static_cast<int>(std::lround(o.barFraction * bw));
    Fill(bx, by, bx + bw, by + bh, kTrack, 0.8);
    Fill(bx, by, bx + played, by + bh, kPlayed, 0.9);
    Fill(bx + played - 2, by - 3, bx + played + 2, by + bh + 3, kWhite, 1.0);

    if (o.help) Help(o);
    g_layer = nullptr;
    return true;
}

bool DrawSplitsLayer(const SplitsOverlay& o, std::uint32_t* layer) {
    std::fill(layer, layer + kOverlayWidth * kOverlayHeight, 0u);
    g_layer = layer;
    // The top band: the run raced at the left, the delta and the reference's count at the
    // right, clear of the game's own counters below the band.
    if (o.raceLine[0] || o.delta[0] || o.count[0]) {
        Fill(0, 0, kOverlayWidth, kOverlayTopRows, kBlack, 0.6);
        Text(4, 2, o.raceLine, kWhite);
        const int countX = kOverlayWidth - 4 - TextWidth(o.count);
        Text(countX, 2, o.count, kWhite);
        const Colour tone = o.tone < 0 ? kAhead : o.tone > 0 ? kBehind : kWhite;
        Text(countX - 2 * kCellW - TextWidth(o.delta), 2, o.delta, tone);
    }
    if (o.boardCount > 0) {
        Fill(0, kSplitsBoardTop, kOverlayWidth, kSplitsBoardBottom, kBlack, 0.6);
        const int lines = std::min(o.boardCount, kSplitsBoardLines);
        const int top =
            kSplitsBoardTop + (kSplitsBoardBottom - kSplitsBoardTop - lines * kLineH) / 2 + 2;
        for (int i = 0; i < lines; ++i) {
            const char* line = o.board[i];
            Text((kOverlayWidth - TextWidth(line)) / 2, top + i * kLineH, line, kWhite);
        }
    }
    if (o.tableRow >= 0 && o.tableRow < 5) {
        // The row the time took, framed in the new best's gold.
        const int top = kTableRowTop + kTableRowStep * o.tableRow - 3;
        Frame(kTableLeft, top, kTableRight, top + kTableRowStep, 2, kPlayed, 0.95);
    }
    if (o.newBest) {
        static const char kNewBest[] = "NEW BEST!";
        constexpr int kScale = 3;
        const int w = TextWidth(kNewBest) * kScale, x = (kOverlayWidth - w) / 2;
        Fill(x - 10, kNewBestTop - 8, x + w + 4, kNewBestTop + 7 * kScale + 8, kBlack, 0.6);
        BigText(x, kNewBestTop, kScale, kNewBest, kPlayed);
    }
    if (o.notice[0]) {
        const int w = TextWidth(o.notice), x = (kOverlayWidth - w) / 2;
        Fill(x - 8, kNoticeTop - 5, x + w + 8, kNoticeTop + 12, kBlack, 0.75);
        Text(x, kNoticeTop, o.notice, kWhite);
    }
    g_layer = nullptr;
    return true;
}

void DrawCaptionBand(const char* caption, int top, std::uint32_t* layer) {
    // The characters that fit between 8-pixel margins.
    constexpr int kMost = (kOverlayWidth - 16) / (kCellW * kCaptionScale);
    char text[kMost + 1];
    int n = 0;
    bool cut = false;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(caption); *p; ++p) {
        if (*p >= 0x80 && *p < 0xC0) continue;  // the rest of a UTF-8 character
        if (n == kMost) {
            cut = true;
            break;
        }
        text[n++] = *p >= 32 && *p < 127 ? static_cast<char>(*p) : *p < 32 ? ' ' : '?';
    }
    if (cut) std::memcpy(text + kMost - 3, "...", 3);
    text[n] = '\0';
    g_layer = layer;
    Fill(0, top, kOverlayWidth, top + kCaptionRows, kBlack, 0.7);
    const int x = (kOverlayWidth - TextWidth(text) * kCaptionScale) / 2;
    BigText(x, top + (kCaptionRows - 7 * kCaptionScale) / 2, kCaptionScale, text, kWhite);
    g_layer = nullptr;
}

bool DrawActiveOverlay(std::uint32_t* layer) {
    // A watched replay's overlay, else a played round's splits; one layer either way, so
    // neither is built where nothing asks for it. This frame counts for a notice shown.
    bool drawn = false;
    if (ActiveViewerInput()) {
        static ViewerOverlay viewer;
        drawn = DescribeViewerOverlay(&viewer) && DrawOverlayLayer(viewer, layer);
    } else {
        static SplitsOverlay splits;
        drawn = DescribeSplitsOverlay(&splits) && DrawSplitsLayer(splits, layer);
    }
    NoticeFramePassed();
    return drawn;
}
