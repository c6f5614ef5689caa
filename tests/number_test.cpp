// Numbers drawn from the digit strip of a synthetic play sheet in which every glyph has
// its own palette index (digit d is 10 + d), so each drawn glyph can be found exactly.
#include "media/number.h"

#include <gtest/gtest.h>

#include "tests/support/game_fixture.h"

namespace {

constexpr BYTE kKey = 255;
constexpr BYTE kPaper = 1;
constexpr int kTop = 509;
constexpr int kWidth[10] = {11, 6, 9, 11, 11, 9, 11, 10, 11, 11};

BYTE DigitIndex(int d) { return static_cast<BYTE>(10 + d); }

class NumberTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartHeadlessGame();
        SetSpriteKey(kKey);
        FillSprite(0, 0, 640, 630, kKey);
        int left = 0;
        for (int d = 0; d < 10; ++d) {
            FillSprite(left, kTop, left + kWidth[d], kTop + 16, DigitIndex(d));
            left += kWidth[d];
        }
        FillBack(kPaper);
    }

    // The glyph of digit d stands whole with its top-left corner at (x, y).
    void ExpectGlyph(int x, int y, int d) {
        EXPECT_EQ(CountBack(x, y, x + kWidth[d], y + 16, DigitIndex(d)), kWidth[d] * 16)
            << "digit " << d << " at " << x << "," << y;
    }
    int Pixels(int d) { return CountBack(0, 0, 640, 480, DigitIndex(d)); }
};

TEST_F(NumberTest, LeadingZerosAndNarrowSevenTakeTheirCells) {
    DrawNumber(460, 26, 7, 4);
    ExpectGlyph(462, 26, 0);
    ExpectGlyph(478, 26, 0);
    ExpectGlyph(494, 26, 0);
    ExpectGlyph(510, 26, 7);
    EXPECT_EQ(Pixels(0), 3 * 11 * 16);
    EXPECT_EQ(Pixels(7), 10 * 16);
    // Nothing strays outside the glyphs' rows.
    EXPECT_EQ(CountBack(0, 0, 640, 26, kPaper), 640 * 26);
    EXPECT_EQ(CountBack(0, 42, 640, 480, kPaper), 640 * 438);
}

TEST_F(NumberTest, OnlyTheLastPlacesAreDrawn) {
    DrawNumber(100, 50, 1000, 4);
    ExpectGlyph(104, 50, 1);  // cell of 15: gap 4, then 7 after the glyph
    ExpectGlyph(117, 50, 0);
    ExpectGlyph(133, 50, 0);
    ExpectGlyph(149, 50, 0);

    FillBack(kPaper);
    DrawNumber(100, 50, 1000, 3);
    EXPECT_EQ(Pixels(1), 0);
    ExpectGlyph(102, 50, 0);
    ExpectGlyph(118, 50, 0);
    ExpectGlyph(134, 50, 0);

    // A clock of 125 minutes shown with two places reads 25.
    FillBack(kPaper);
    DrawNumber(233, 26, 125, 2);
    EXPECT_EQ(Pixels(1), 0);
    ExpectGlyph(236, 26, 2);
    ExpectGlyph(252, 26, 5);
}

TEST_F(NumberTest, EveryDigitHasItsOwnSpacing) {
    // 12345 then 67890, five places each: cells of 15 for 1 and 7, 16 for the rest.
    DrawNumber(0, 100, 12345, 5);
    ExpectGlyph(4, 100, 1);
    ExpectGlyph(18, 100, 2);
    ExpectGlyph(33, 100, 3);
    ExpectGlyph(49, 100, 4);
    ExpectGlyph(66, 100, 5);
    DrawNumber(0, 200, 67890, 5);
    ExpectGlyph(2, 200, 6);
    ExpectGlyph(18, 200, 7);
    ExpectGlyph(33, 200, 8);
    ExpectGlyph(49, 200, 9);
    ExpectGlyph(65, 200, 0);
}

TEST_F(NumberTest, NoPlacesOrNegativeValues) {
    DrawNumber(100, 100, 42, 0);
    DrawNumber(100, 100, 42, -3);
    EXPECT_EQ(CountBack(0, 0, 640, 480, kPaper), 640 * 480);

    // A negative value shows zeros rather than glyphs from outside the strip.
    DrawNumber(100, 100, -42, 3);
    ExpectGlyph(102, 100, 0);
    ExpectGlyph(118, 100, 0);
    ExpectGlyph(134, 100, 0);
    EXPECT_EQ(CountBack(0, 0, 640, 480, kPaper), 640 * 480 - 3 * 11 * 16);
}

TEST_F(NumberTest, TooManyPlacesOrDigitsStayInsideTheStrip) {
    // Past 99999 the top place shows its last digit, not a glyph beyond the 9.
    DrawNumber(0, 100, 123456, 5);
    ExpectGlyph(3, 100, 2);
    ExpectGlyph(18, 100, 3);
    ExpectGlyph(34, 100, 4);
    ExpectGlyph(51, 100, 5);
    ExpectGlyph(66, 100, 6);
    // More than five places draws the five there are.
    DrawNumber(0, 200, 42, 7);
    ExpectGlyph(2, 200, 0);
    ExpectGlyph(18, 200, 0);
    ExpectGlyph(34, 200, 0);
    ExpectGlyph(50, 200, 4);
    ExpectGlyph(67, 200, 2);
    const int drawn = kWidth[2] + kWidth[3] + kWidth[4] + kWidth[5] + kWidth[6] +  // 23456
                      3 * kWidth[0] + kWidth[4] + kWidth[2];                       // 00042
    EXPECT_EQ(CountBack(0, 0, 640, 480, kPaper), 640 * 480 - drawn * 16);
}

TEST_F(NumberTest, KeyedPixelsOfAGlyphLeaveTheScreenAlone) {
    // Hollow out the 8: its middle column becomes transparent.
    FillSprite(83, kTop, 84, kTop + 16, kKey);
    FillBack(kPaper);
    DrawNumber(300, 300, 8, 1);
    EXPECT_EQ(CountBack(302, 300, 313, 316, DigitIndex(8)), 10 * 16);
    EXPECT_EQ(CountBack(307, 300, 308, 316, kPaper), 16);
}

}  // namespace
