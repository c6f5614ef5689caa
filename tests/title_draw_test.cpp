// The title frame on a synthetic sheet: tiles, the still and stretched sign, the menu
// highlights, caption and letters, the fly's wing image and the swatter.
#include <gtest/gtest.h>

#include "media/display.h"
#include "objects/instances.h"
#include "scenes/title.h"
#include "shell/globals.h"
#include "tests/support/game_fixture.h"
#include "tests/support/title_sheet.h"

using namespace title_sheet;

namespace {

void EmptyTitleLists() {
    Flies.Clear();
    TitleSign.Clear();
    for (MotionList& letter : TitleLetters) letter.Clear();
}

class TitleDraw : public ::testing::Test {
protected:
    void SetUp() override {
        StartHeadlessGame();
        EmptyTitleLists();
        EnterTitle();
        Build(false);
        MouseDown = 0;
        SceneState = STATE_TITLE_FRAME;
        MoveCursor(20, 20);
    }
    void TearDown() override { EmptyTitleLists(); }
};

void SetSignInflation(double s) {
    TitleSign.Clear();
    Body body;
    body.x = s;
    body.y = s;
    TitleSign.Add(body);
}

}  // namespace

TEST_F(TitleDraw, StillFrameLayout) {
    FillBack(0);
    DrawTitle();
    EXPECT_EQ(CountBack(0, 0, 640, 480, 0), 0);  // the tiles cover the screen
    EXPECT_EQ(BackPixel(0, 0), kTile);
    EXPECT_EQ(BackPixel(639, 479), kTile);
    EXPECT_EQ(BackPixel(148, 100), kTile);

    ExpectBox(kSign, 149, 100, 489, 224);
    EXPECT_EQ(CountBack(0, 0, 640, 480, kSign), 340 * 124);
    ExpectBox(kStart, 268, 300, 374, 316);
    ExpectBox(kQuit, 286, 350, 356, 367);
    EXPECT_EQ(CountBack(0, 0, 640, 480, kStartLit), 0);
    EXPECT_EQ(CountBack(0, 0, 640, 480, kQuitLit), 0);
    ExpectBox(kCaption, 326, 450, 451, 460);

    // Letters at their homes on y 446; 9-12 reuse the glyphs of 5, 2, 5 and 3.
    const int homes[8] = {462, 474, 486, 498, 510, 534, 546, 558};
    const int widths[8] = {9, 8, 3, 8, 9, 9, 10, 9};
    for (int g = 0; g < 8; ++g) {
        SCOPED_TRACE(g + 1);
        EXPECT_EQ(BackPixel(homes[g], 446), kGlyph[g]);
        EXPECT_EQ(BackPixel(homes[g] + widths[g] - 1, 460), kGlyph[g]);
    }
    EXPECT_EQ(CountBack(0, 0, 640, 480, kGlyph[4]), 3 * 9 * 15);
    EXPECT_EQ(CountBack(0, 0, 640, 480, kGlyph[1]), 2 * 8 * 15);
    EXPECT_EQ(CountBack(0, 0, 640, 480, kGlyph[2]), 2 * 3 * 15);
    ExpectBox(kGlyph[4], 510, 446, 603, 461);
    ExpectBox(kGlyph[2], 486, 446, 609, 461);
}

TEST_F(TitleDraw, MenuEntriesHighlightUnderTheCursor) {
    struct Case {
        int x, y;
        bool start, quit;
    };
    // clang-format off
    const Case cases[] = {
        {259, 291, true, false},  {377, 314, true, false},  {258, 291, false, false},
        {259, 290, false, false}, {378, 300, false, false}, {300, 315, false, false},
        {277, 341, false, true},  {359, 370, false, true},  {276, 341, false, false},
        {277, 340, false, false}, {360, 370, false, false}, {359, 371, false, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        MoveCursor(c.x, c.y);
        FillBack(0);
        DrawTitle();
        if (c.start) {
            ExpectBox(kStartLit, 266, 299, 376, 318);
            EXPECT_EQ(CountBack(0, 0, 640, 480, kStart), 0);
        } else {
            ExpectBox(kStart, 268, 300, 374, 316);
            EXPECT_EQ(CountBack(0, 0, 640, 480, kStartLit), 0);
        }
        if (c.quit) {
            ExpectBox(kQuitLit, 284, 347, 357, 368);
            EXPECT_EQ(CountBack(0, 0, 640, 480, kQuit), 0);
        } else {
            ExpectBox(kQuit, 286, 350, 356, 367);
            EXPECT_EQ(CountBack(0, 0, 640, 480, kQuitLit), 0);
        }
    }
}

TEST_F(TitleDraw, SignIsStretchedByItsInflation) {
    // First frame after the click: the pulse starts at 0, one pixel narrower and
    // shorter than the still sign.
    MoveCursor(150, 101);
    TitleClick();
    FillBack(0);
    DrawTitle();
    ExpectBox(kSign, 149, 100, 488, 223);
    EXPECT_EQ(CountBack(0, 0, 640, 480, kSign), 339 * 123);

    MoveCursor(20, 20);
    SetSignInflation(15.7);
    FillBack(0);
    DrawTitle();
    ExpectBox(kSign, 134, 85, 503, 238);

    SetSignInflation(-15.7);
    FillBack(0);
    DrawTitle();
    ExpectBox(kSign, 164, 115, 473, 208);
    EXPECT_EQ(CountBack(0, 0, 640, 480, kSign), 309 * 93);
}

TEST_F(TitleDraw, LettersFollowTheirDisplacementAndAreCutAtTheEdge) {
    Body hop;
    hop.x = -30;
    hop.y = -20;
    TitleLetters[0].Clear();
    TitleLetters[0].Add(hop);
    Body off;
    off.x = 32;  // letter 12 (3 wide) at x 638: two columns left on the screen
    TitleLetters[11].Clear();
    TitleLetters[11].Add(off);
    FillBack(0);
    DrawTitle();
    ExpectBox(kGlyph[0], 432, 426, 441, 441);
    EXPECT_EQ(CountBack(600, 430, 640, 480, kGlyph[2]), 2 * 15);
    EXPECT_EQ(BackPixel(638, 446), kGlyph[2]);
}

TEST_F(TitleDraw, WingImageFollowsTheTick) {
    Flies.Add(5.0);
    FlyState* fly = Flies.PeekAt(0);
    ASSERT_NE(fly, nullptr);
    fly->x = 300.9;
    fly->y = 200.2;

    TitleTick = 1009;
    FillBack(0);
    DrawTitle();
    ExpectBox(kWingA, 300, 200, 319, 220);
    EXPECT_EQ(CountBack(0, 0, 640, 480, kWingB), 0);

    TitleTick = 1010;
    FillBack(0);
    DrawTitle();
    ExpectBox(kWingB, 300, 200, 317, 220);
    EXPECT_EQ(CountBack(0, 0, 640, 480, kWingA), 0);

    // A fly partly off the screen is cut, not dropped.
    fly->x = -10;
    TitleTick = 20;
    FillBack(0);
    DrawTitle();
    ExpectBox(kWingA, 0, 200, 9, 220);
}

TEST_F(TitleDraw, SwatterRaisedOrPressed) {
    Build(true);
    MoveCursor(100, 400);
    FillBack(0);
    DrawTitle();
    ExpectBox(kRaised, 96, 400, 114, 430);
    EXPECT_EQ(CountBack(0, 0, 640, 480, kPressed), 0);

    MouseDown = 1;
    FillBack(0);
    DrawTitle();
    ExpectBox(kPressed, 100, 400, 116, 432);
    EXPECT_EQ(CountBack(0, 0, 640, 480, kRaised), 0);
    MouseDown = 0;

    // Drawn last: it covers the menu.
    MoveCursor(300, 302);
    FillBack(0);
    DrawTitle();
    EXPECT_EQ(BackPixel(300, 305), kRaised);
}
