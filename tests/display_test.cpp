// Scene bitmaps into the palette and sprite surface, and the two blit primitives.
#include "media/display.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "media/blit.h"
#include "tests/support/game_fixture.h"

namespace {

void Le32(std::string& s, size_t at, std::int32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + i] = static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF);
}

// An 8-bit bitmap whose pixel (x, y) is (x + 3*y) & 0xFF and whose colour i is (i, 255-i, i/2).
std::string MakeBitmap(int width, int height, int bits = 8) {
    std::string s(1078, '\0');
    s[0] = 'B';
    s[1] = 'M';
    Le32(s, 14, 40);
    Le32(s, 18, width);
    Le32(s, 22, height);
    s[26] = 1;
    s[28] = static_cast<char>(bits);
    for (int i = 0; i < 256; ++i) {
        s[54 + 4 * i] = static_cast<char>(i / 2);        // blue
        s[54 + 4 * i + 1] = static_cast<char>(255 - i);  // green
        s[54 + 4 * i + 2] = static_cast<char>(i);        // red
    }
    if (width > 0 && height > 0)
        for (int row = height - 1; row >= 0; --row)
            for (int x = 0; x < width; ++x) s.push_back(static_cast<char>((x + 3 * row) & 0xFF));
    return s;
}

// The 1078 bytes of headers and colour table of MakeBitmap(width, height), no pixels.
std::string MakeHeader(std::int32_t width, std::int32_t height) {
    std::string s = MakeBitmap(0, 0);
    Le32(s, 18, width);
    Le32(s, 22, height);
    return s;
}

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartHeadlessGame();
        dir = MakeTempDir();
        ASSERT_EQ(chdir(dir.c_str()), 0);
        ASSERT_EQ(mkdir_bmp(), 0);
        FillSprite(0, 0, 640, 630, 7);
        PALETTEENTRY grey[256];
        for (auto& e : grey) e = {9, 9, 9, 0};
        lpPALETTE->SetEntries(0, 0, 256, grey);
    }
    int mkdir_bmp() { return std::system(("mkdir -p " + dir + "/bmp").c_str()); }
    // A refused bitmap leaves the grey palette and the surface of 7s as they were.
    void ExpectRefused(const char* name) {
        EXPECT_EQ(LoadSceneBitmap(name, 255), 0) << name;
        PALETTEENTRY e;
        lpPALETTE->GetEntries(0, 77, 1, &e);
        EXPECT_EQ(e.peRed, 9) << name << " changed the palette";
        EXPECT_EQ(SpritePixel(3, 3), 7) << name << " changed the surface";
    }
    std::string dir;
};

TEST_F(DisplayTest, LoadsPaletteAndRowsTopDownAndSetsTheKey) {
    WriteFileBytes(dir + "/bmp/t.bmp", MakeBitmap(640, 630));
    ASSERT_EQ(LoadSceneBitmap("bmp\\t.bmp", 0x1FF), 1);
    PALETTEENTRY e[256];
    lpPALETTE->GetEntries(0, 0, 256, e);
    EXPECT_EQ(e[10].peRed, 10);
    EXPECT_EQ(e[10].peGreen, 245);
    EXPECT_EQ(e[10].peBlue, 5);
    EXPECT_EQ(SpritePixel(0, 0), 0);
    EXPECT_EQ(SpritePixel(5, 2), 11);
    EXPECT_EQ(SpritePixel(639, 629), (639 + 3 * 629) & 0xFF);
    // 0x1FF keys palette index 255.
    EXPECT_TRUE(lpSPRITESURFACE->hasColorKey);
    EXPECT_EQ(lpSPRITESURFACE->colorKey, 255);
}

TEST_F(DisplayTest, RefusesWrongFilesBeforeThePaletteChanges) {
    std::string notBm = MakeBitmap(16, 16);
    notBm[0] = 'X';
    WriteFileBytes(dir + "/bmp/a.bmp", notBm);
    WriteFileBytes(dir + "/bmp/b.bmp", MakeBitmap(16, 16, 24));
    WriteFileBytes(dir + "/bmp/c.bmp", MakeBitmap(16, 16, 4));
    WriteFileBytes(dir + "/bmp/d.bmp",
                   MakeBitmap(16, 16).substr(0, 54 + 500));  // ends in the colour table
    WriteFileBytes(dir + "/bmp/e.bmp", MakeBitmap(0, 16));
    WriteFileBytes(dir + "/bmp/f.bmp", MakeBitmap(-640, 16).substr(0, 1078));
    WriteFileBytes(dir + "/bmp/g.bmp", MakeBitmap(640, -1).substr(0, 1078));
    WriteFileBytes(dir + "/bmp/h.bmp", MakeBitmap(16, 16).substr(0, 30));
    // A pipe in the file's place is refused at once rather than waited on.
    ASSERT_EQ(mkfifo((dir + "/bmp/pipe.bmp").c_str(), 0644), 0);
    for (const char* name :
         {"bmp\\a.bmp", "bmp\\b.bmp", "bmp\\c.bmp", "bmp\\d.bmp", "bmp\\e.bmp", "bmp\\f.bmp",
          "bmp\\g.bmp", "bmp\\h.bmp", "bmp\\missing.bmp", "bmp\\pipe.bmp"})
        ExpectRefused(name);
}

TEST_F(DisplayTest, SmallBitmapFillsOnlyTopLeftAndShortFileReadsZeros) {
    WriteFileBytes(dir + "/bmp/s.bmp", MakeBitmap(100, 50));
    ASSERT_EQ(LoadSceneBitmap("bmp\\s.bmp", 106), 1);
    EXPECT_EQ(SpritePixel(99, 49), (99 + 3 * 49) & 0xFF);
    EXPECT_EQ(SpritePixel(100, 0), 7);
    EXPECT_EQ(SpritePixel(0, 50), 7);
    EXPECT_EQ(lpSPRITESURFACE->colorKey, 106);

    // The file ends after the first 10 stored rows (the bottom ones): the rest reads 0.
    std::string cut = MakeBitmap(100, 50);
    cut.resize(1078 + 100 * 10);
    WriteFileBytes(dir + "/bmp/cut.bmp", cut);
    FillSprite(0, 0, 640, 630, 7);
    ASSERT_EQ(LoadSceneBitmap("bmp\\cut.bmp", 255), 1);
    EXPECT_EQ(SpritePixel(5, 49), (5 + 3 * 49) & 0xFF);
    EXPECT_EQ(SpritePixel(5, 40), (5 + 3 * 40) & 0xFF);
    EXPECT_EQ(SpritePixel(5, 39), 0);
    EXPECT_EQ(SpritePixel(5, 0), 0);
    EXPECT_EQ(SpritePixel(100, 0), 7);
}

TEST_F(DisplayTest, TallBitmapKeepsItsTop630Rows) {
    WriteFileBytes(dir + "/bmp/tall.bmp", MakeBitmap(640, 700));
    ASSERT_EQ(LoadSceneBitmap("bmp\\tall.bmp", 255), 1);
    EXPECT_EQ(SpritePixel(1, 0), 1);
    EXPECT_EQ(SpritePixel(1, 629), (1 + 3 * 629) & 0xFF);

    // Far taller than any surface: still only its top rows, and nothing else read.
    FillSprite(0, 0, 640, 630, 7);
    WriteFileBytes(dir + "/bmp/taller.bmp", MakeBitmap(8, 70000));
    ASSERT_EQ(LoadSceneBitmap("bmp\\taller.bmp", 255), 1);
    EXPECT_EQ(SpritePixel(2, 0), 2);
    EXPECT_EQ(SpritePixel(2, 629), (2 + 3 * 629) & 0xFF);
    EXPECT_EQ(SpritePixel(8, 0), 7);
}

TEST_F(DisplayTest, RefusesOverflowingDimensionsBeforeThePaletteChanges) {
    // Width x height beyond a 32-bit signed count.
    WriteFileBytes(dir + "/bmp/o1.bmp", MakeHeader(640, 0x7FFFFFFF));
    WriteFileBytes(dir + "/bmp/o2.bmp", MakeHeader(640, 3355444));  // 2147484160
    WriteFileBytes(dir + "/bmp/o3.bmp", MakeHeader(0x7FFFFFFF, 0x7FFFFFFF));
    WriteFileBytes(dir + "/bmp/o4.bmp", MakeHeader(65536, 32769));  // 2147549184
    for (const char* name : {"bmp\\o1.bmp", "bmp\\o2.bmp", "bmp\\o3.bmp", "bmp\\o4.bmp"})
        ExpectRefused(name);
    // The largest count that fits is a picture: its top rows, the rest of the file missing.
    WriteFileBytes(dir + "/bmp/fits.bmp", MakeHeader(640, 3355443));  // 2147483520
    EXPECT_EQ(LoadSceneBitmap("bmp\\fits.bmp", 255), 1);
    EXPECT_EQ(SpritePixel(3, 3), 0);
}

TEST_F(DisplayTest, WideBitmapKeepsTheLeft640ColumnsOfEachRow) {
    WriteFileBytes(dir + "/bmp/wide.bmp", MakeBitmap(70000, 1));
    ASSERT_EQ(LoadSceneBitmap("bmp\\wide.bmp", 255), 1);
    EXPECT_EQ(SpritePixel(0, 0), 0);
    EXPECT_EQ(SpritePixel(639, 0), 639 & 0xFF);
    EXPECT_EQ(SpritePixel(3, 1), 7);

    // Several rows: each starts a whole file row further on, whatever was skipped of the last.
    FillSprite(0, 0, 640, 630, 7);
    WriteFileBytes(dir + "/bmp/rows.bmp", MakeBitmap(70001, 3));
    ASSERT_EQ(LoadSceneBitmap("bmp\\rows.bmp", 255), 1);
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(SpritePixel(0, y), (3 * y) & 0xFF) << y;
        EXPECT_EQ(SpritePixel(639, y), (639 + 3 * y) & 0xFF) << y;
    }
    EXPECT_EQ(SpritePixel(0, 3), 7);

    // The widest row there can be, with no pixels in the file: one row of zeros, read
    // without room for the whole row.
    FillSprite(0, 0, 640, 630, 7);
    WriteFileBytes(dir + "/bmp/widest.bmp", MakeHeader(0x7FFFFFFF, 1));
    ASSERT_EQ(LoadSceneBitmap("bmp\\widest.bmp", 255), 1);
    EXPECT_EQ(SpritePixel(639, 0), 0);
    EXPECT_EQ(SpritePixel(639, 1), 7);
}

class BlitTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartHeadlessGame();
        // Each column of the sheet holds its own index, so a drawn pixel names its source column.
        for (int y = 0; y < 630; ++y)
            for (int x = 0; x < 640; ++x)
                lpSPRITESURFACE->pixels[static_cast<size_t>(y) * 640 + x] =
                    static_cast<BYTE>(x < 200 ? x : (y & 0x7F));
        SetSpriteKey(255);
        FillBack(254);
    }
};

TEST_F(BlitTest, ClippedCopiesCutAtEachEdge) {
    BlitSpriteClipped(-10, 100, 100, 0, 132, 32);
    EXPECT_EQ(BackPixel(0, 100), 110);
    EXPECT_EQ(BackPixel(21, 131), 131);
    EXPECT_EQ(BackPixel(22, 100), 254);
    EXPECT_EQ(BackPixel(0, 132), 254);
    EXPECT_EQ(BackPixel(0, 99), 254);

    FillBack(254);
    BlitSpriteClipped(630, 0, 100, 0, 132, 32);
    EXPECT_EQ(BackPixel(630, 0), 100);
    EXPECT_EQ(BackPixel(639, 31), 109);
    EXPECT_EQ(BackPixel(629, 0), 254);

    FillBack(254);
    BlitSpriteClipped(0, 470, 300, 500, 364, 532);  // rows carry (y & 0x7F) here
    EXPECT_EQ(BackPixel(0, 470), 500 & 0x7F);
    EXPECT_EQ(BackPixel(63, 479), 509 & 0x7F);
    EXPECT_EQ(BackPixel(64, 470), 254);
    EXPECT_EQ(CountBack(0, 0, 640, 470, 254), 640 * 470);

    FillBack(254);
    BlitSpriteClipped(-50, 0, 0, 0, 32, 32);
    BlitSpriteClipped(700, 0, 0, 0, 32, 32);
    BlitSpriteClipped(0, -40, 0, 0, 32, 32);
    BlitSpriteClipped(0, 490, 0, 0, 32, 32);
    EXPECT_EQ(CountBack(0, 0, 640, 480, 254), 640 * 480);
}

// The clipping cases of the blits on a sheet whose pixel (x, y) is (3x + 7y) mod 251 (never the key
// 255), checked over the whole back buffer: inside the expected destination block each
// pixel is the named source pixel, everywhere else the buffer is untouched.
class ClipCaseTest : public BlitTest {
protected:
    static BYTE Sheet(int x, int y) { return static_cast<BYTE>((3 * x + 7 * y) % 251); }
    void SetUp() override {
        BlitTest::SetUp();
        for (int y = 0; y < 630; ++y)
            for (int x = 0; x < 640; ++x)
                lpSPRITESURFACE->pixels[static_cast<size_t>(y) * 640 + x] = Sheet(x, y);
    }
    // Destination columns [dl, dr) and rows [dt, db) show the source from (sx, sy) on.
    void ExpectOnly(int dl, int dt, int dr, int db, int sx, int sy) {
        int wrong = 0;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                const bool inside = x >= dl && x < dr && y >= dt && y < db;
                const BYTE want = inside ? Sheet(sx + x - dl, sy + y - dt) : 254;
                if (BackPixel(x, y) != want && wrong++ < 5)
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << int(BackPixel(x, y))
                                  << ", not " << int(want);
            }
        EXPECT_EQ(wrong, 0);
        FillBack(254);
    }
};

TEST_F(ClipCaseTest, EveryPixelOfTheClippingCases) {
    BlitSpriteClipped(-10, 100, 100, 0, 132, 32);  // source columns 110-131 at 0-21, rows 100-131
    ExpectOnly(0, 100, 22, 132, 110, 0);
    BlitSpriteClipped(630, 0, 100, 0, 132, 32);  // source columns 100-109 at 630-639
    ExpectOnly(630, 0, 640, 32, 100, 0);
    BlitSpriteClipped(0, 470, 0, 500, 64, 532);  // source rows 500-509 at 470-479
    ExpectOnly(0, 470, 64, 480, 0, 500);
    BlitSpriteClipped(-50, 0, 0, 0, 32, 32);  // wholly outside: nothing
    BlitSpriteClipped(700, 0, 0, 0, 32, 32);
    ExpectOnly(0, 0, 0, 0, 0, 0);
    BlitSpriteClipped(20, -5, 40, 60, 72, 92);  // the top cut: source rows 65-91 at 0-26
    ExpectOnly(20, 0, 52, 27, 40, 65);
    BlitSpriteClipped(-10, -10, 0, 0, 640, 630);  // the whole sheet: left, top and bottom cut
    ExpectOnly(0, 0, 630, 480, 10, 10);
    BlitSprite(608, 448, 5, 6, 37, 38);  // unclipped, exactly in the corner
    ExpectOnly(608, 448, 640, 480, 5, 6);
    BlitSprite(609, 448, 5, 6, 37, 38);  // one pixel beyond the edge: nothing
    BlitSprite(608, 449, 5, 6, 37, 38);
    ExpectOnly(0, 0, 0, 0, 0, 0);
}

TEST_F(BlitTest, OversizedSpriteIsCutToTheScreen) {
    FillSprite(0, 0, 640, 630, 3);
    // The whole sheet at (-10, -10): cut at the left, top and bottom; it ends at x 630.
    BlitSpriteClipped(-10, -10, 0, 0, 640, 630);
    EXPECT_EQ(CountBack(0, 0, 630, 480, 3), 630 * 480);
    EXPECT_EQ(CountBack(630, 0, 640, 480, 254), 10 * 480);
}

TEST_F(BlitTest, ColourKeyLeavesTheBackBufferAlone) {
    FillSprite(10, 0, 14, 4, 255);
    BlitSprite(50, 50, 8, 0, 16, 4);
    EXPECT_EQ(BackPixel(50, 50), 8);
    EXPECT_EQ(BackPixel(52, 50), 254);
    EXPECT_EQ(BackPixel(55, 53), 254);
    EXPECT_EQ(BackPixel(56, 50), 14);
    BlitSpriteClipped(-2, 60, 8, 0, 16, 4);
    EXPECT_EQ(BackPixel(0, 60), 254);
    EXPECT_EQ(BackPixel(4, 60), 14);
}

TEST_F(BlitTest, UnclippedCopyBeyondTheEdgeDrawsNothing) {
    EXPECT_NE(BlitSprite(630, 0, 0, 0, 32, 32), DD_OK);
    EXPECT_NE(BlitSprite(0, 470, 0, 0, 32, 32), DD_OK);
    EXPECT_NE(BlitSprite(-1, 0, 0, 0, 32, 32), DD_OK);
    EXPECT_EQ(CountBack(0, 0, 640, 480, 254), 640 * 480);
    EXPECT_EQ(BlitSprite(608, 448, 0, 0, 32, 32), DD_OK);
    EXPECT_EQ(BackPixel(639, 479), 31);
}

TEST_F(BlitTest, StretchedCopyFillsExactlyItsDestination) {
    FillSprite(0, 0, 340, 124, 5);
    RECT src = {0, 0, 340, 124};
    RECT dest = {134, 85, 503, 238};
    ASSERT_EQ(lpBACKSURFACE->Blt(&dest, lpSPRITESURFACE, &src, DDBLT_KEYSRC | DDBLT_WAIT, nullptr),
              DD_OK);
    RECT box;
    ASSERT_TRUE(FindBack(5, &box));
    EXPECT_EQ(box.left, 134);
    EXPECT_EQ(box.top, 85);
    EXPECT_EQ(box.right, 503);
    EXPECT_EQ(box.bottom, 238);
    EXPECT_EQ(CountBack(134, 85, 503, 238, 5), 369 * 153);

    // An inverted rectangle draws nothing.
    FillBack(254);
    RECT inverted = {200, 100, 150, 150};
    lpBACKSURFACE->Blt(&inverted, lpSPRITESURFACE, &src, DDBLT_KEYSRC | DDBLT_WAIT, nullptr);
    EXPECT_EQ(CountBack(0, 0, 640, 480, 254), 640 * 480);
}

TEST_F(BlitTest, ClearFillsTheWholeBackBufferAndFlipSwaps) {
    ClearBackBuffer(156);
    EXPECT_EQ(CountBack(0, 0, 640, 480, 156), 640 * 480);
    FillBack(1);
    lpFRONTSURFACE->pixels.assign(640 * 480, 2);
    PresentFrame();
    EXPECT_EQ(lpFRONTSURFACE->pixels[1000], 1);
    EXPECT_EQ(BackPixel(0, 0), 2);  // the frame that was on screen before
}

}  // namespace

// DirectDraw refuses a structure whose dwSize is not its size on the running system
// (108 and 100 were the sizes on 32-bit Windows; 64-bit Windows wants 120 and 128):
// so does the stand-in, and the game passes sizeof.
TEST_F(DisplayTest, StructuresMustCarryTheirOwnSize) {
    EXPECT_EQ(sizeof(DDSURFACEDESC), sizeof(void*) == 8 ? 120u : 108u);
    EXPECT_EQ(sizeof(DDBLTFX), sizeof(void*) == 8 ? 128u : 100u);
    for (DWORD size : {DWORD{0}, DWORD{108}, DWORD{sizeof(DDSURFACEDESC) + 4}}) {
        DDSURFACEDESC desc = {};
        desc.dwSize = size;
        desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
        desc.dwWidth = 8;
        desc.dwHeight = 8;
        LPDIRECTDRAWSURFACE surface = nullptr;
        EXPECT_EQ(lpDD->CreateSurface(&desc, &surface, nullptr), DDERR_INVALIDPARAMS) << size;
        EXPECT_EQ(surface, nullptr);
        EXPECT_EQ(lpSPRITESURFACE->Lock(nullptr, &desc, 0, nullptr), DDERR_INVALIDPARAMS) << size;
    }
    // A refused lock leaves the surface unlocked.
    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof desc;
    ASSERT_EQ(lpSPRITESURFACE->Lock(nullptr, &desc, 0, nullptr), DD_OK);
    EXPECT_EQ(lpSPRITESURFACE->Unlock(nullptr), DD_OK);

    ASSERT_EQ(ClearBackBuffer(7), DD_OK);
    DDBLTFX fx = {};
    fx.dwSize = 100;
    fx.dwFillColor = 9;
    EXPECT_EQ(lpBACKSURFACE->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx),
              DDERR_INVALIDPARAMS);
    EXPECT_EQ(lpBACKSURFACE->pixels[0], 7);  // nothing drawn
}
