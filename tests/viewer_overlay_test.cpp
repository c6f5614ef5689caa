// The replay viewer's overlay as every presentation layer draws it, and the page's key
// names: what the layer holds for a described overlay, and nothing when it is off.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/services/notice.h"
#include "platform/services/options.h"
#include "platform/services/overlay_draw.h"
#include "platform/services/viewer_input.h"

namespace {

std::uint32_t Alpha(std::uint32_t p) { return p >> 24; }
std::uint32_t Rgb(std::uint32_t p) { return p & 0xFFFFFF; }

struct Layer {
    std::vector<std::uint32_t> pixels =
        std::vector<std::uint32_t>(kOverlayWidth * kOverlayHeight, 0xDEADBEEFu);
    std::uint32_t At(int x, int y) const {
        return pixels[static_cast<std::size_t>(y * kOverlayWidth + x)];
    }
    int Covered(int x0, int y0, int x1, int y1) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += Alpha(At(x, y)) != 0;
        return n;
    }
};

ViewerOverlay Sample() {
    ViewerOverlay o;
    std::memset(&o, 0, sizeof o);
    o.shown = true;
    o.frame = 300;
    o.frames = 601;
    o.barFraction = 0.5;
    // A trail from the left to the right along row 200, the newest point on the right.
    for (int i = 0; i <= kViewerTrailFrames; ++i)
        o.trail[o.trailCount++] = {100.0 + 10 * i, 200.0, (kViewerTrailFrames - i) / 60.0};
    o.clicks[o.clickCount++] = {320, 330, 0.0, 1.0};
    o.clicks[o.clickCount++] = {100, 330, 0.9, 0.1};
    std::snprintf(o.topLine, sizeof o.topLine,
                  "30 flies, speed 2   0:05.000   frame 300 of 601   1x");
    std::snprintf(o.helpLine, sizeof o.helpLine, "Space pause");
    o.helpCount = 2;
    std::snprintf(o.helpLines[0], sizeof o.helpLines[0], "Space       pause / play");
    std::snprintf(o.helpLines[1], sizeof o.helpLines[1], "Esc         leave");
    return o;
}

}  // namespace

TEST(ViewerOverlay, OffLeavesTheLayerClear) {
    Layer layer;
    ViewerOverlay o = Sample();
    o.shown = false;
    EXPECT_FALSE(DrawOverlayLayer(o, layer.pixels.data()));
    EXPECT_EQ(layer.Covered(0, 0, kOverlayWidth, kOverlayHeight), 0);
    EXPECT_EQ(layer.At(5, 5), 0u);
}

TEST(ViewerOverlay, BandsTextBarTrailAndMarks) {
    Layer layer;
    ViewerOverlay o = Sample();
    ASSERT_TRUE(DrawOverlayLayer(o, layer.pixels.data()));

    // The top band and the bottom one cover their rows; the middle of the picture is
    // left alone but for the hand.
    EXPECT_EQ(layer.Covered(0, 0, kOverlayWidth, kOverlayTopRows), kOverlayWidth * kOverlayTopRows);
    EXPECT_EQ(layer.Covered(0, kOverlayBottomTop, kOverlayWidth, kOverlayHeight),
              kOverlayWidth * (kOverlayHeight - kOverlayBottomTop));
    EXPECT_EQ(layer.Covered(0, 20, kOverlayWidth, 190), 0);
    // The text is white on the band: the top line's first glyph ("3") has white pixels.
    int white = 0;
    for (int y = 2; y < 9; ++y)
        for (int x = 4; x < 9; ++x) white += Rgb(layer.At(x, y)) == 0xFFFFFF;
    EXPECT_GT(white, 5);

    // The bar: played up to its middle, the knob there, the track after.
    const int y = static_cast<int>(kViewerBarY + kViewerBarH / 2);
    const int x0 = static_cast<int>(kViewerBarX), w = static_cast<int>(kViewerBarW);
    // (Over the band's dark: yellow, white and a grey.)
    const auto channel = [&](int x, int shift) {
        return static_cast<int>((layer.At(x, y) >> shift) & 0xFF);
    };
    const int played = x0 + w / 4, rest = x0 + 3 * w / 4;
    EXPECT_GT(channel(played, 16), 200) << "the played part";
    EXPECT_GT(channel(played, 8), 180) << "the played part";
    EXPECT_LT(channel(played, 0), 40) << "the played part";
    EXPECT_EQ(Rgb(layer.At(x0 + w / 2, y)), 0xFFFFFFu) << "the knob";
    EXPECT_EQ(channel(rest, 16), channel(rest, 0)) << "the rest";
    EXPECT_EQ(channel(rest, 8), channel(rest, 0)) << "the rest";
    EXPECT_GT(channel(rest, 0), 80) << "the rest";
    EXPECT_LT(channel(rest, 0), 160) << "the rest";

    // The trail is stronger where it is newer; the fresh click's ring is stronger than the
    // old one's, and nothing is drawn at the click's centre.
    EXPECT_GT(Alpha(layer.At(390, 200)), Alpha(layer.At(110, 200)));
    EXPECT_GT(Alpha(layer.At(110, 200)), 0u);
    int fresh = 0, old = 0;
    for (int dx = -20; dx <= 20; ++dx) {
        fresh = std::max(fresh, static_cast<int>(Alpha(layer.At(320 + dx, 330))));
        old = std::max(old, static_cast<int>(Alpha(layer.At(100 + dx, 330))));
    }
    EXPECT_GT(fresh, 200);
    EXPECT_GT(old, 0);
    EXPECT_LT(old, 60);
    EXPECT_EQ(Alpha(layer.At(320, 330)), 0u);

    // "?": the keys in a box in the middle.
    Layer help;
    o.help = true;
    ASSERT_TRUE(DrawOverlayLayer(o, help.pixels.data()));
    EXPECT_GT(help.Covered(200, 220, 440, 260), layer.Covered(200, 220, 440, 260) + 1000);
}

TEST(ViewerOverlay, ThePagesKeyNames) {
    struct Case {
        const char* name;
        bool known;
        ViewerKey key;
    };
    // clang-format off
    const Case cases[] = {
        {" ", true, ViewerKey::PlayPause},      {",", true, ViewerKey::FrameBack},
        {".", true, ViewerKey::FrameForward},   {"ArrowLeft", true, ViewerKey::Back},
        {"ArrowRight", true, ViewerKey::Forward}, {"Home", true, ViewerKey::Start},
        {"End", true, ViewerKey::End},          {"-", true, ViewerKey::Slower},
        {"+", true, ViewerKey::Faster},         {"=", true, ViewerKey::Faster},
        {"o", true, ViewerKey::Overlay},        {"O", true, ViewerKey::Overlay},
        {"?", true, ViewerKey::Help},           {"Escape", true, ViewerKey::Leave},
        {"Enter", false, ViewerKey::Leave},     {"ArrowUp", false, ViewerKey::Leave},
        {"", false, ViewerKey::Leave},          {"  ", false, ViewerKey::Leave},
        {nullptr, false, ViewerKey::Leave},
    };
    // clang-format on
    for (const Case& c : cases) {
        ViewerKey key = ViewerKey::Leave;
        EXPECT_EQ(ViewerKeyForName(c.name, &key), c.known) << (c.name ? c.name : "(null)");
        if (c.known) {
            EXPECT_EQ(key, c.key) << c.name;
        }
    }
}

// The splits' layer on the results board: the row the time took framed, a new best said
// large; and a key's notice shown for kNoticeFrames frames whether the splits are on or off.
TEST(ViewerOverlay, ResultsRowNewBestAndNotices) {
    Layer layer;
    SplitsOverlay o;
    std::memset(&o, 0, sizeof o);
    o.tableRow = 2;
    o.newBest = false;
    ASSERT_TRUE(DrawSplitsLayer(o, layer.pixels.data()));
    const int rowTop = kTableRowTop + 2 * kTableRowStep - 3;
    EXPECT_GT(Alpha(layer.At(kTableLeft, rowTop)), 200u) << "the frame's corner";
    EXPECT_GT(Alpha(layer.At(kTableRight - 1, rowTop + kTableRowStep - 1)), 200u);
    EXPECT_EQ(layer.At((kTableLeft + kTableRight) / 2, rowTop + kTableRowStep / 2), 0u)
        << "the row's numbers stay clear";
    EXPECT_EQ(layer.Covered(0, kTableRowTop - 3, kOverlayWidth, rowTop), 0) << "rows above";
    EXPECT_EQ(layer.Covered(0, kNewBestTop - 8, kOverlayWidth, kNewBestTop + 29), 0);
    o.newBest = true;
    ASSERT_TRUE(DrawSplitsLayer(o, layer.pixels.data()));
    EXPECT_GT(layer.Covered(0, kNewBestTop, kOverlayWidth, kNewBestTop + 21), 1000)
        << "a new best's words, three times the text's size";

    // S with the splits off, then M: each says what it did, the last in place of the first.
    Options saved = g_Options;
    g_Options.splits = true;
    ToggleSplits();
    ASSERT_STREQ(CurrentNotice(), "splits off (S)");
    SplitsOverlay described;
    ASSERT_TRUE(DescribeSplitsOverlay(&described)) << "a notice shows with the splits off";
    EXPECT_STREQ(described.notice, "splits off (S)");
    EXPECT_EQ(described.tableRow, -1);
    ShowNotice("sound off (M)");
    for (int frame = 0; frame < kNoticeFrames; ++frame) {
        ASSERT_TRUE(DrawActiveOverlay(layer.pixels.data())) << frame;
        EXPECT_GT(layer.Covered(0, kNoticeTop, kOverlayWidth, kNoticeTop + 7), 40) << frame;
    }
    EXPECT_EQ(CurrentNotice(), nullptr) << "gone after its frames";
    EXPECT_FALSE(DescribeSplitsOverlay(&described));
    g_Options = saved;
}

TEST(ViewerOverlay, CaptionBandAtTheFoot) {
    const int top = kOverlayHeight - kCaptionRows;
    Layer clear, named;
    std::fill(clear.pixels.begin(), clear.pixels.end(), 0u);
    named.pixels = clear.pixels;
    DrawCaptionBand("Rhea  10 flies, NORMAL  0:07.234", top, named.pixels.data());
    // The band alone: every pixel of its rows, none above.
    EXPECT_EQ(named.Covered(0, top, kOverlayWidth, kOverlayHeight), kOverlayWidth * kCaptionRows);
    EXPECT_EQ(named.Covered(0, 0, kOverlayWidth, top), 0);
    int white = 0;
    for (int y = top; y < kOverlayHeight; ++y)
        for (int x = 0; x < kOverlayWidth; ++x) white += named.At(x, y) == 0xFFFFFFFFu;
    EXPECT_GT(white, 400) << "the text, twice the overlay's size";
    // Another text, another band; a character beyond ASCII is one "?", whatever its bytes.
    Layer other = clear, accented = clear, asked = clear;
    DrawCaptionBand("Rhea  10 flies, NORMAL  0:07.235", top, other.pixels.data());
    EXPECT_NE(other.pixels, named.pixels);
    DrawCaptionBand("Zo\xC3\xAB \xE2\x80\x94 30 flies", top, accented.pixels.data());
    DrawCaptionBand("Zo? ? 30 flies", top, asked.pixels.data());
    EXPECT_EQ(accented.pixels, asked.pixels);
    // Too long for the band: cut, ending in "...".
    const std::string longer(80, 'W');
    Layer cut = clear, dots = clear;
    DrawCaptionBand(longer.c_str(), top, cut.pixels.data());
    DrawCaptionBand((std::string(49, 'W') + "...").c_str(), top, dots.pixels.data());
    EXPECT_EQ(cut.pixels, dots.pixels);
}
