// Showing the picture: the one-pass palette lookup and enlargement into window pixels,
// where the letterboxed picture sits and how the mouse maps back, and the choice of the
// presentation path and of vsync pacing from what the display reports.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/sdl/present_plan.h"
#include "platform/stand_in/ddraw.h"
#include "platform/stand_in/scale_convert.h"

namespace {

constexpr std::uint32_t kBorder = 0xDEADBEEF;

// Every index used, in a pattern that differs from each neighbour in both directions.
std::vector<std::uint8_t> TestPicture() {
    std::vector<std::uint8_t> p(640 * 480);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            p[y * 640 + x] = static_cast<std::uint8_t>(x * 7 + y * 13 + (x * y) % 5);
    return p;
}

std::vector<std::uint32_t> TestTable() {
    std::vector<std::uint32_t> t(256);
    for (int i = 0; i < 256; ++i) t[i] = 0xFF000000u | std::uint32_t(i) * 0x010307u;
    return t;
}

// Converts into a window of w x h pixels whose rows are `pad` pixels longer than its
// width, prefilled with kBorder, and checks every pixel of it against the plain
// definition: inside the picture the table's colour of the source pixel under it,
// everywhere else (borders and row padding) untouched.
void CheckConversion(int w, int h, int pad) {
    const auto pixels = TestPicture();
    const auto table = TestTable();
    const Letterbox box = FitPicture(w, h);
    const int stride = w + pad;
    std::vector<std::uint32_t> window(std::size_t(stride) * h, kBorder);
    ScaleConvert(pixels.data(), table.data(), box, window.data(), w, h, stride * 4);
    int wrong = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < stride; ++x) {
            int gx = 0, gy = 0;
            WindowToGame(box, x, y, &gx, &gy);
            const bool inside = x < w && gx >= 0 && gx < 640 && gy >= 0 && gy < 480;
            const std::uint32_t want = inside ? table[pixels[gy * 640 + gx]] : kBorder;
            if (window[std::size_t(y) * stride + x] != want && ++wrong <= 3)
                ADD_FAILURE() << w << "x" << h << " pixel (" << x << ", " << y << ")";
        }
    EXPECT_EQ(wrong, 0) << w << "x" << h << " scale " << box.scale;
}

TEST(ScaleConvert, EveryPixelOfEveryScaleAndNothingOutsideThePicture) {
    CheckConversion(640, 480, 0);     // exactly the picture
    CheckConversion(1920, 1080, 0);   // full HD: 2x with side and top borders
    CheckConversion(1920, 1440, 8);   // 3x, padded rows
    CheckConversion(2560, 1920, 0);   // 4x
    CheckConversion(3840, 2160, 16);  // 4x in a 4K screen
    CheckConversion(3300, 2500, 3);   // 5x, the any-factor loop, odd border sizes
    CheckConversion(1279, 959, 1);    // one pixel short of 2x: 1x, centred
}

TEST(ScaleConvert, WindowSmallerThanThePictureShowsItsMiddle) {
    CheckConversion(600, 400, 5);
    CheckConversion(641, 100, 0);
    CheckConversion(100, 481, 2);
    const Letterbox box = FitPicture(600, 400);
    EXPECT_EQ(box.scale, 1);
    EXPECT_EQ(box.x, -20);
    EXPECT_EQ(box.y, -40);
}

TEST(ScaleConvert, ColourTableFollowsThePixelLayout) {
    PALETTEENTRY palette[256] = {};
    palette[0] = {0x11, 0x22, 0x33, 0};
    palette[255] = {0xFF, 0x80, 0x01, 0};
    std::uint32_t table[256];
    BuildColourTable(palette, PixelLayout{16, 8, 0, 0}, table);  // XRGB
    EXPECT_EQ(table[0], 0x00112233u);
    EXPECT_EQ(table[255], 0x00FF8001u);
    EXPECT_EQ(table[1], 0u);
    BuildColourTable(palette, PixelLayout{0, 8, 16, 0xFF000000u}, table);  // ABGR, opaque
    EXPECT_EQ(table[0], 0xFF332211u);
    EXPECT_EQ(table[255], 0xFF0180FFu);
}

TEST(ScaleConvert, MouseMapsToThePixelUnderIt) {
    const Letterbox box = FitPicture(1920, 1080);  // 2x at (320, 60)
    ASSERT_EQ(box.scale, 2);
    ASSERT_EQ(box.x, 320);
    ASSERT_EQ(box.y, 60);
    int gx = 0, gy = 0;
    WindowToGame(box, 320, 60, &gx, &gy);
    EXPECT_EQ(gx, 0);
    EXPECT_EQ(gy, 0);
    WindowToGame(box, 1599, 1019, &gx, &gy);
    EXPECT_EQ(gx, 639);
    EXPECT_EQ(gy, 479);
    WindowToGame(box, 319, 59, &gx, &gy);  // the border just before the picture
    EXPECT_EQ(gx, -1);
    EXPECT_EQ(gy, -1);
    WindowToGame(box, 1600, 1020, &gx, &gy);
    EXPECT_EQ(gx, 640);
    EXPECT_EQ(gy, 480);
    WindowToGame(FitPicture(2560, 1920), 1001, 7, &gx, &gy);  // 4x, no border
    EXPECT_EQ(gx, 250);
    EXPECT_EQ(gy, 1);
}

TEST(PresentPlan, PathFromWhatTheDisplayReports) {
    PresentFacts gpu;
    gpu.haveRenderer = true;
    gpu.rendererAccelerated = true;
    gpu.glRenderer = "AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.6, DRM 3.49)";
    gpu.surfaceUsable = true;
    EXPECT_EQ(ChoosePresentPath(PresentRequest::Auto, gpu), PresentPath::Renderer);
    PresentFacts direct3d = gpu;  // a renderer that is not GL names no GL driver
    direct3d.glRenderer = nullptr;
    EXPECT_EQ(ChoosePresentPath(PresentRequest::Auto, direct3d), PresentPath::Renderer);

    PresentFacts llvmpipe = gpu;  // GL that rasterises on the CPU still says "accelerated"
    llvmpipe.glRenderer = "llvmpipe (LLVM 15.0.6, 256 bits)";
    EXPECT_EQ(ChoosePresentPath(PresentRequest::Auto, llvmpipe), PresentPath::Surface);
    PresentFacts software = gpu;  // SDL's own software renderer
    software.rendererAccelerated = false;
    software.glRenderer = nullptr;
    EXPECT_EQ(ChoosePresentPath(PresentRequest::Auto, software), PresentPath::Surface);

    // A request is honoured where it can be; otherwise the path that works.
    EXPECT_EQ(ChoosePresentPath(PresentRequest::Renderer, llvmpipe), PresentPath::Renderer);
    EXPECT_EQ(ChoosePresentPath(PresentRequest::Surface, gpu), PresentPath::Surface);
    PresentFacts oddPixels = llvmpipe;  // e.g. a 16-bit or 30-bit window
    oddPixels.surfaceUsable = false;
    EXPECT_EQ(ChoosePresentPath(PresentRequest::Auto, oddPixels), PresentPath::Renderer);
    EXPECT_EQ(ChoosePresentPath(PresentRequest::Surface, oddPixels), PresentPath::Renderer);
    PresentFacts noRenderer = llvmpipe;
    noRenderer.haveRenderer = false;
    EXPECT_EQ(ChoosePresentPath(PresentRequest::Renderer, noRenderer), PresentPath::Surface);

    for (const char* cpu : {"llvmpipe (LLVM 15.0.6, 256 bits)", "Software Rasterizer", "softpipe",
                            "Mesa X11 swrast", "GDI Generic", "Microsoft Basic Render Driver"})
        EXPECT_TRUE(IsSoftwareGl(cpu)) << cpu;
    for (const char* real : {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)",
                             "NVIDIA GeForce RTX 3060/PCIe/SSE2", "Apple M1", ""})
        EXPECT_FALSE(IsSoftwareGl(real)) << real;
}

TEST(PresentPlan, RequestFromTheEnvironment) {
    PresentRequest r = PresentRequest::Renderer;
    EXPECT_TRUE(ParsePresentRequest(nullptr, &r));
    EXPECT_EQ(r, PresentRequest::Auto);
    EXPECT_TRUE(ParsePresentRequest("Surface", &r));
    EXPECT_EQ(r, PresentRequest::Surface);
    EXPECT_TRUE(ParsePresentRequest("renderer", &r));
    EXPECT_EQ(r, PresentRequest::Renderer);
    EXPECT_TRUE(ParsePresentRequest("", &r));
    EXPECT_EQ(r, PresentRequest::Auto);
    r = PresentRequest::Surface;
    EXPECT_FALSE(ParsePresentRequest("gpu", &r));
    EXPECT_EQ(r, PresentRequest::Surface) << "a refused value changes nothing";
}

TEST(PresentPlan, VsyncOnlyWhereTheRefreshIsAWholeMultipleOfSixty) {
    EXPECT_EQ(RefreshesPerGameFrame(60), 1);
    EXPECT_EQ(RefreshesPerGameFrame(120), 2);
    EXPECT_EQ(RefreshesPerGameFrame(180), 3);
    EXPECT_EQ(RefreshesPerGameFrame(240), 4);
    for (int hz : {0, -60, 30, 50, 59, 61, 75, 90, 100, 144, 165, 200})
        EXPECT_EQ(RefreshesPerGameFrame(hz), 0) << hz << " Hz keeps the timer";
}

TEST(PresentPlan, VsyncGivenUpAfterASecondOfEarlyFramesAndTriedAgainWhenTheDisplayChanges) {
    // Each step: frames shown (early or not), or the window changed; then whether vsync
    // is refused and whether this step gave it up.
    enum Step { Early, OnTime, Changed };
    struct Case {
        const char* what;
        std::vector<std::pair<Step, int>> steps;  // a step and how many times
        bool refused;
        int givenUp;  // how many times vsync was given up along the way
    };
    // clang-format off
    const Case cases[] = {
        {"59 early frames", {{Early, 59}}, false, 0},
        {"60 early frames", {{Early, 60}}, true, 1},
        {"a frame on time starts the count again", {{Early, 59}, {OnTime, 1}, {Early, 59}}, false, 0},
        {"given up once, not again", {{Early, 200}}, true, 1},
        {"a change tries vsync again", {{Early, 60}, {Changed, 1}}, false, 1},
        {"and gives it up again after another second", {{Early, 60}, {Changed, 1}, {Early, 60}}, true, 2},
        {"a change starts the count again", {{Early, 59}, {Changed, 1}, {Early, 59}}, false, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VsyncTrust trust;
        int givenUp = 0;
        for (const auto& [step, times] : c.steps)
            for (int i = 0; i < times; ++i) {
                if (step == Changed)
                    VsyncTryAgain(&trust);
                else if (VsyncFrameShown(&trust, step == Early))
                    ++givenUp;
            }
        EXPECT_EQ(trust.refused, c.refused);
        EXPECT_EQ(givenUp, c.givenUp);
    }
}

}  // namespace
