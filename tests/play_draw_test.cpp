// The play frame drawn from a synthetic sheet in which every rectangle the scene uses
// has its own palette index, so that each picture can be found on the screen exactly.
#include <gtest/gtest.h>

#include "objects/instances.h"
#include "scenes/play.h"
#include "shell/globals.h"
#include "tests/support/game_fixture.h"

namespace {

constexpr BYTE kKey = 255;
enum : BYTE {
    kBackground = 1,
    kDigit0 = 10,  // digit d is 10 + d
    kColon = 20,
    kSlash = 21,
    kDot = 22,
    kFlyUp = 30,
    kFlyDown = 31,
    kBody = 32,
    kPressed = 33,
    kRaised = 34,
    kClockLabel = 35,
    kSwatsLabel = 36,
    kFliesLabel = 37,
    kMark0 = 40,
    kMark1 = 41,
    kMark2 = 42,
    kDebrisA = 43,
    kDebrisB = 44,
    kBoard = 45,
};
constexpr int kWidth[10] = {11, 6, 9, 11, 11, 9, 11, 10, 11, 11};

class PlayDrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartHeadlessGame();
        SetSpriteKey(kKey);
        FillSprite(0, 0, 640, 630, kKey);
        FillSprite(0, 0, 640, 480, kBackground);
        int left = 0;
        for (int d = 0; d < 10; ++d) {
            FillSprite(left, 509, left + kWidth[d], 525, static_cast<BYTE>(kDigit0 + d));
            left += kWidth[d];
        }
        FillSprite(100, 509, 102, 525, kColon);
        FillSprite(102, 509, 111, 525, kSlash);
        FillSprite(112, 509, 114, 525, kDot);
        FillSprite(0, 480, 19, 500, kFlyUp);
        FillSprite(19, 480, 36, 500, kFlyDown);
        FillSprite(36, 480, 59, 503, kBody);
        FillSprite(123, 480, 139, 512, kPressed);
        FillSprite(139, 480, 157, 510, kRaised);
        FillSprite(157, 480, 182, 511, kClockLabel);
        FillSprite(182, 480, 213, 511, kSwatsLabel);
        FillSprite(213, 480, 233, 499, kFliesLabel);
        FillSprite(233, 480, 253, 499, kMark0);
        FillSprite(253, 480, 272, 499, kMark1);
        FillSprite(273, 480, 293, 498, kMark2);
        FillSprite(293, 480, 301, 488, kDebrisA);
        FillSprite(293, 488, 301, 496, kDebrisB);
        FillSprite(301, 480, 449, 518, kBoard);
        FillBack(0);

        ClearPlayLists();
        RoundPhase = Playing;
        FliesSwatted = 0;
        TargetFlies = 30;
        ClockMinutes = 0;
        ClockSeconds = 0;
        ClockMillis = 0;
        MouseDown = 0;
        MoveCursor(600, 400);
    }
    void TearDown() override { ClearPlayLists(); }

    void ExpectSprite(int x, int y, int w, int h, BYTE index) {
        EXPECT_EQ(CountBack(x, y, x + w, y + h, index), w * h)
            << "index " << int(index) << " at " << x << "," << y;
    }
    void ExpectGlyph(int x, int y, int d) {
        ExpectSprite(x, y, kWidth[d], 16, static_cast<BYTE>(kDigit0 + d));
    }
    int Everywhere(BYTE index) { return CountBack(0, 0, 640, 480, index); }

    // Puts a fly at an exact place on the screen.
    void PlaceFly(double x, double y) {
        ASSERT_EQ(Flies.Add(2.0), 1);
        FlyState* fly = Flies.PeekAt(Flies.Count() - 1);
        fly->x = x;
        fly->y = y;
        Flies.Get();
    }
    void SetClock(int minutes, int seconds, int millis) {
        ClockMinutes = static_cast<std::uint16_t>(minutes);
        ClockSeconds = seconds;
        ClockMillis = millis;
    }
    // The clock of the heads-up display reads 12:34.567.
    void ExpectClock1234567() {
        ExpectGlyph(237, 26, 1);
        ExpectGlyph(251, 26, 2);
        ExpectGlyph(275, 26, 3);
        ExpectGlyph(291, 26, 4);
        ExpectGlyph(319, 26, 5);
        ExpectGlyph(334, 26, 6);
        ExpectGlyph(350, 26, 7);
        ExpectSprite(269, 26, 2, 16, kColon);
        ExpectSprite(310, 26, 2, 16, kDot);
    }
    bool ClockShown() { return CountBack(230, 26, 365, 42, kColon) > 0; }
};

TEST_F(PlayDrawTest, HeadsUpDisplayWhilePlaying) {
    FliesSwatted = 7;
    TargetFlies = 30;
    SetClock(12, 34, 567);
    PlaceFly(300, 300);
    PlaceFly(350, 300);
    EXPECT_EQ(DrawPlay(0), 1);

    ExpectSprite(36, 24, 20, 19, kFliesLabel);
    ExpectSprite(198, 16, 25, 31, kClockLabel);
    ExpectSprite(420, 16, 31, 31, kSwatsLabel);
    ExpectSprite(528, 26, 9, 16, kSlash);
    // Live flies 0002 at 65.
    ExpectGlyph(67, 26, 0);
    ExpectGlyph(83, 26, 0);
    ExpectGlyph(99, 26, 0);
    ExpectGlyph(116, 26, 2);
    // Swats 0007 at 460, target 0030 at 544.
    ExpectGlyph(462, 26, 0);
    ExpectGlyph(478, 26, 0);
    ExpectGlyph(494, 26, 0);
    ExpectGlyph(510, 26, 7);
    ExpectGlyph(546, 26, 0);
    ExpectGlyph(562, 26, 0);
    ExpectGlyph(578, 26, 3);
    ExpectGlyph(594, 26, 0);
    ExpectClock1234567();

    // Exactly these glyphs and no others.
    EXPECT_EQ(Everywhere(kDigit0 + 0), 9 * 11 * 16);
    EXPECT_EQ(Everywhere(kDigit0 + 2), 2 * 9 * 16);
    EXPECT_EQ(Everywhere(kDigit0 + 7), 2 * 10 * 16);
    EXPECT_EQ(Everywhere(kBoard), 0);
    // The background fills the rest.
    EXPECT_EQ(BackPixel(0, 0), kBackground);
    EXPECT_EQ(BackPixel(639, 479), kBackground);
}

TEST_F(PlayDrawTest, ResultsBoardRowsAndBlinkingClearTime) {
    RoundPhase = ShowingResults;
    SetClock(12, 34, 567);
    const int minutes[5] = {0, 1, 10, 42, 59};
    const int seconds[5] = {45, 2, 59, 0, 59};
    const int millis[5] = {0, 7, 123, 980, 999};
    for (int i = 0; i < 5; ++i) {
        BoardMinutes[i] = static_cast<std::uint16_t>(minutes[i]);
        BoardSeconds[i] = seconds[i];
        BoardMillis[i] = millis[i];
    }
    ASSERT_EQ(ResultBlink.Add(0, 0), 1);

    DrawPlay(0);
    ExpectSprite(246, 160, 148, 38, kBoard);
    ExpectClock1234567();
    // Rank numerals 1..5 at x 236, rows 24 apart from y 240.
    for (int i = 0; i < 5; ++i) ExpectGlyph(236, 240 + 24 * i, i + 1);
    for (int i = 0; i < 5; ++i) {
        int y = 240 + 24 * i;
        ExpectSprite(307, y, 2, 16, kColon);
        ExpectSprite(346, y, 2, 16, kDot);
    }
    // Row 1: 00:45.000.
    ExpectGlyph(273, 240, 0);
    ExpectGlyph(289, 240, 0);
    ExpectGlyph(313, 240, 4);
    ExpectGlyph(330, 240, 5);
    ExpectGlyph(356, 240, 0);
    ExpectGlyph(372, 240, 0);
    ExpectGlyph(388, 240, 0);
    // Row 3: 10:59.123.
    ExpectGlyph(275, 288, 1);
    ExpectGlyph(288, 288, 0);
    ExpectGlyph(314, 288, 5);
    ExpectGlyph(329, 288, 9);
    ExpectGlyph(358, 288, 1);
    ExpectGlyph(372, 288, 2);
    ExpectGlyph(387, 288, 3);
    // Row 5: 59:59.999.
    ExpectGlyph(274, 336, 5);
    ExpectGlyph(289, 336, 9);
    ExpectGlyph(314, 336, 5);
    ExpectGlyph(329, 336, 9);
    ExpectGlyph(356, 336, 9);
    ExpectGlyph(372, 336, 9);
    ExpectGlyph(388, 336, 9);

    // The clear time shows for frames 0..29 of the blink and hides for 30..59.
    for (int update = 0; update <= 90; ++update) {
        FillBack(0);
        DrawPlay(0);
        bool shown = (update / 30) % 2 == 0;
        EXPECT_EQ(ClockShown(), shown) << "after " << update << " updates";
        ExpectSprite(246, 160, 148, 38, kBoard);
        ResultBlink.Update();
    }
}

TEST_F(PlayDrawTest, ClockAndBoardFollowThePhase) {
    SetClock(12, 34, 567);
    ASSERT_EQ(ResultBlink.Add(0, 0), 1);
    for (int phase : {Playing, Recording, ShowingResults, AwaitingClick}) {
        RoundPhase = phase;
        FillBack(0);
        DrawPlay(0);
        EXPECT_EQ(Everywhere(kBoard) > 0, phase != Playing) << "phase " << phase;
        EXPECT_TRUE(ClockShown()) << "phase " << phase;
    }
    // While playing the clock runs whatever the blink object says.
    ResultBlink.Clear();
    RoundPhase = Playing;
    FillBack(0);
    DrawPlay(0);
    EXPECT_TRUE(ClockShown());
    // Cleared but without a blink object: the time is not shown.
    RoundPhase = AwaitingClick;
    FillBack(0);
    DrawPlay(0);
    EXPECT_FALSE(ClockShown());
}

TEST_F(PlayDrawTest, WingImageFollowsPhaseFrames) {
    PlaceFly(100.9, 150.2);
    PlaceFly(200, 250);
    for (int phaseFrames = 0; phaseFrames < 4; ++phaseFrames) {
        FillBack(0);
        DrawPlay(phaseFrames);
        if (phaseFrames < 2) {
            ExpectSprite(100, 150, 19, 20, kFlyUp);
            ExpectSprite(200, 250, 19, 20, kFlyUp);
            EXPECT_EQ(Everywhere(kFlyDown), 0);
        } else {
            ExpectSprite(100, 150, 17, 20, kFlyDown);
            ExpectSprite(200, 250, 17, 20, kFlyDown);
            EXPECT_EQ(Everywhere(kFlyUp), 0);
        }
    }
}

TEST_F(PlayDrawTest, PressedAndRaisedSwatter) {
    MoveCursor(100, 200);
    MouseDown = 1;
    DrawPlay(0);
    ExpectSprite(100, 200, 16, 32, kPressed);
    EXPECT_EQ(Everywhere(kPressed), 16 * 32);
    EXPECT_EQ(Everywhere(kRaised), 0);

    MouseDown = 0;
    FillBack(0);
    DrawPlay(0);
    ExpectSprite(96, 200, 18, 30, kRaised);
    EXPECT_EQ(Everywhere(kRaised), 18 * 30);
    EXPECT_EQ(Everywhere(kPressed), 0);

    // At the bottom left corner the raised swatter is cut by both edges.
    MoveCursor(2, 470);
    FillBack(0);
    DrawPlay(0);
    EXPECT_EQ(Everywhere(kRaised), 16 * 10);
    ExpectSprite(0, 470, 16, 10, kRaised);
}

TEST_F(PlayDrawTest, MarksBodiesAndDebris) {
    ASSERT_EQ(SwatMarks.Add(300, 300), 1);
    Body body;
    body.x = 50.7;
    body.y = 60.2;
    FallingBodies.Add(body);
    body.x = 80;
    BouncingBodies.Add(body);
    body.x = 200;
    body.y = 200;
    DebrisA.Add(body);
    body.x = 210;
    DebrisB.Add(body);

    DrawPlay(0);
    ExpectSprite(300, 300, 20, 19, kMark0);
    ExpectSprite(50, 60, 23, 23, kBody);
    ExpectSprite(80, 60, 23, 23, kBody);
    ExpectSprite(200, 200, 8, 8, kDebrisA);
    ExpectSprite(210, 200, 8, 8, kDebrisB);

    // A mark shows its three frames in turn.
    for (int i = 0; i < 150; ++i) SwatMarks.Update();
    FillBack(0);
    DrawPlay(0);
    ExpectSprite(300, 300, 19, 19, kMark1);
    EXPECT_EQ(Everywhere(kMark0), 0);
    for (int i = 0; i < 150; ++i) SwatMarks.Update();
    FillBack(0);
    DrawPlay(0);
    ExpectSprite(300, 300, 20, 18, kMark2);
    EXPECT_EQ(Everywhere(kMark1), 0);
}

TEST_F(PlayDrawTest, LaterPicturesCoverEarlierOnes) {
    // Mark, body, fly, debris and swatter stacked 5 pixels apart from left to right.
    SwatMarks.Add(400, 300);
    Body body;
    body.x = 405;
    body.y = 300;
    FallingBodies.Add(body);
    PlaceFly(410, 300);
    body.x = 415;
    DebrisA.Add(body);
    MouseDown = 1;
    MoveCursor(420, 300);
    DrawPlay(0);
    EXPECT_EQ(BackPixel(402, 305), kMark0);
    EXPECT_EQ(BackPixel(407, 305), kBody);
    EXPECT_EQ(BackPixel(412, 305), kFlyUp);
    EXPECT_EQ(BackPixel(417, 305), kDebrisA);
    EXPECT_EQ(BackPixel(422, 305), kPressed);

    // The heads-up display lies over the swatter.
    MoveCursor(36, 24);
    FillBack(0);
    DrawPlay(0);
    ExpectSprite(36, 24, 20, 19, kFliesLabel);
}

TEST_F(PlayDrawTest, PicturesAtTheEdgesAreCut) {
    PlaceFly(-5, 100);   // 14 of 19 columns on the screen
    PlaceFly(630, 470);  // 10 columns, 10 rows
    PlaceFly(-32, 200);  // still entering: nothing shows
    PlaceFly(100, 511);
    DrawPlay(0);
    ExpectSprite(0, 100, 14, 20, kFlyUp);
    ExpectSprite(630, 470, 10, 10, kFlyUp);
    EXPECT_EQ(Everywhere(kFlyUp), 14 * 20 + 10 * 10);
}

}  // namespace
