// The mode-select screen: what each setting shows, the arrows, the buttons' click
// regions and the leave fill, on a synthetic sheet whose every image has its own index.
#include "scenes/mode_select.h"

#include <gtest/gtest.h>

#include "media/display.h"
#include "media/sound.h"
#include "platform/stand_in/runtime.h"
#include "shell/globals.h"
#include "tests/support/game_fixture.h"
#include "tests/support/scene_test_helpers.h"

namespace {

constexpr BYTE kKey = 106;
constexpr BYTE kUnit = 10, kZero = 11, kOne = 12, kThree = 13;
constexpr BYTE kCaption[4] = {20, 21, 22, 23};
constexpr BYTE kBack = 30, kStart = 31, kPressed = 32, kRaised = 33;
constexpr BYTE kLeftOn = 40, kRightOn = 41, kLeftOff = 42, kRightOff = 43, kTile = 50;

void BuildSheet() {
    SetSpriteKey(kKey);
    FillSprite(0, 0, 640, 480, kKey);
    FillSprite(0, 0, 127, 43, kUnit);
    FillSprite(127, 0, 155, 43, kZero);
    FillSprite(155, 0, 170, 43, kOne);
    FillSprite(170, 0, 196, 43, kThree);
    FillSprite(223, 0, 402, 43, kCaption[0]);
    FillSprite(402, 0, 524, 43, kCaption[1]);
    FillSprite(0, 43, 218, 88, kCaption[2]);
    FillSprite(218, 43, 357, 88, kCaption[3]);
    FillSprite(360, 43, 491, 85, kBack);
    FillSprite(0, 88, 292, 132, kStart);
    FillSprite(292, 88, 308, 120, kPressed);
    FillSprite(308, 88, 326, 118, kRaised);
    FillSprite(0, 132, 11, 150, kLeftOn);
    FillSprite(11, 132, 22, 150, kRightOn);
    FillSprite(22, 132, 33, 150, kLeftOff);
    FillSprite(33, 132, 44, 150, kRightOff);
    FillSprite(44, 132, 60, 148, kTile);
}

class ModeSelect : public ::testing::Test {
protected:
    void SetUp() override {
        StartHeadlessGame();
        EnterModeSelect();
        BuildSheet();
        FlyCountSetting = 1;
        SpeedSetting = 1;
        SceneState = STATE_MODE_FRAME;
        NextState = 0;
        MouseDown = 0;
        MoveCursor(600, 440);  // out of the way of everything but the tiles
    }
    void TearDown() override {
        SND_BUTTON = nullptr;
        SND_OK = nullptr;
        SND_BGM = nullptr;
    }
};

// Clicks at (x, y) as the window procedure does: the handler, then the button flag.
void ClickAt(int x, int y) {
    MoveCursor(x, y);
    ModeSelectClick();
}

}  // namespace

TEST_F(ModeSelect, FlyCountRowShowsEachSettingAtItsPlaces) {
    struct Row {
        int setting;
        int ones, zeros, threes;  // how many of each digit
        int firstX, unitX;        // leftmost digit, unit label
        int oneX, threeX;         // -1 where absent
    };
    // clang-format off
    const Row rows[] = {
        {0, 1, 1, 0, 220, 293, 220, -1},
        {1, 0, 1, 1, 215, 299, -1, 215},
        {2, 1, 2, 0, 199, 315, 199, -1},
        {3, 1, 3, 0, 178, 337, 178, -1},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.setting);
        FlyCountSetting = row.setting;
        FillBack(0);
        DrawModeSelect();
        EXPECT_EQ(CountBack(0, 0, 640, 480, kOne), row.ones * 15 * 43);
        EXPECT_EQ(CountBack(0, 0, 640, 480, kZero), row.zeros * 28 * 43);
        EXPECT_EQ(CountBack(0, 0, 640, 480, kThree), row.threes * 26 * 43);
        ExpectBox(kUnit, row.unitX, 64, row.unitX + 127, 107);
        if (row.oneX >= 0) ExpectBox(kOne, row.oneX, 64, row.oneX + 15, 107);
        if (row.threeX >= 0) ExpectBox(kThree, row.threeX, 64, row.threeX + 26, 107);
        // Nothing of the number lies left of its first digit.
        EXPECT_EQ(BackPixel(row.firstX - 1, 80), kTile);
    }
    // The zeros of 1000 stand at 208, 251 and 294.
    FlyCountSetting = 3;
    DrawModeSelect();
    for (int x : {208, 251, 294}) {
        EXPECT_EQ(BackPixel(x, 64), kZero) << x;
        EXPECT_EQ(BackPixel(x + 27, 106), kZero) << x;
    }
    EXPECT_EQ(BackPixel(192, 64), kOne);
    EXPECT_EQ(BackPixel(193, 64), kTile);
}

TEST_F(ModeSelect, SpeedRowShowsOneCaptionPerSetting) {
    const int xs[4] = {231, 259, 211, 251};
    const int widths[4] = {179, 122, 218, 139};
    const int heights[4] = {43, 43, 45, 45};
    for (int s = 0; s < 4; ++s) {
        SCOPED_TRACE(s);
        SpeedSetting = s;
        FillBack(0);
        DrawModeSelect();
        ExpectBox(kCaption[s], xs[s], 180, xs[s] + widths[s], 180 + heights[s]);
        for (int other = 0; other < 4; ++other) {
            if (other != s) {
                EXPECT_EQ(CountBack(0, 0, 640, 480, kCaption[other]), 0);
            }
        }
    }
}

TEST_F(ModeSelect, ArrowsAreDisabledAtTheEndsOfEachSetting) {
    struct Case {
        int count, speed;
        BYTE upperLeft, upperRight, lowerLeft, lowerRight;
    };
    // clang-format off
    const Case cases[] = {
        {1, 1, kLeftOn, kRightOn, kLeftOn, kRightOn},
        {0, 3, kLeftOff, kRightOn, kLeftOn, kRightOff},
        {3, 0, kLeftOn, kRightOff, kLeftOff, kRightOn},
        {2, 2, kLeftOn, kRightOn, kLeftOn, kRightOn},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << "," << c.speed);
        FlyCountSetting = c.count;
        SpeedSetting = c.speed;
        FillBack(0);
        DrawModeSelect();
        EXPECT_EQ(CountBack(120, 76, 131, 94, c.upperLeft), 11 * 18);
        EXPECT_EQ(CountBack(510, 76, 521, 94, c.upperRight), 11 * 18);
        EXPECT_EQ(CountBack(120, 192, 131, 210, c.lowerLeft), 11 * 18);
        EXPECT_EQ(CountBack(510, 192, 521, 210, c.lowerRight), 11 * 18);
    }
}

TEST_F(ModeSelect, TilesButtonsAndCursor) {
    FillBack(0);
    DrawModeSelect();
    EXPECT_EQ(CountBack(0, 0, 640, 480, 0), 0);  // the tiles leave no gap
    EXPECT_EQ(BackPixel(0, 0), kTile);
    EXPECT_EQ(BackPixel(639, 479), kTile);
    ExpectBox(kStart, 174, 300, 466, 344);
    ExpectBox(kBack, 255, 380, 386, 422);
    ExpectBox(kRaised, 596, 440, 614, 470);
    EXPECT_EQ(CountBack(0, 0, 640, 480, kPressed), 0);

    MouseDown = 1;
    DrawModeSelect();
    ExpectBox(kPressed, 600, 440, 616, 472);
    EXPECT_EQ(CountBack(0, 0, 640, 480, kRaised), 0);

    // The raised swatter at the left edge is cut, not dropped.
    MouseDown = 0;
    MoveCursor(2, 200);
    DrawModeSelect();
    ExpectBox(kRaised, 0, 200, 16, 230);
}

TEST_F(ModeSelect, ArrowRegionsChangeSettingsByOneStepWithASound) {
    LPDIRECTSOUNDBUFFER button = MakeProbeSound();
    ASSERT_NE(button, nullptr);
    SND_BUTTON = button;

    ClickAt(110, 66);  // corner of the upper left region
    EXPECT_EQ(FlyCountSetting, 0);
    EXPECT_TRUE(IsSounding(button));
    button->Stop();

    ClickAt(110, 66);  // disabled now: silent, no change
    EXPECT_EQ(FlyCountSetting, 0);
    EXPECT_FALSE(IsSounding(button));

    FlyCountSetting = 1;
    ClickAt(140, 80);
    ClickAt(120, 103);
    ClickAt(109, 80);
    ClickAt(120, 65);
    EXPECT_EQ(FlyCountSetting, 1);
    EXPECT_FALSE(IsSounding(button));

    ClickAt(529, 102);  // upper right, far corner
    ClickAt(529, 102);
    EXPECT_EQ(FlyCountSetting, 3);
    button->Stop();
    ClickAt(515, 80);
    EXPECT_EQ(FlyCountSetting, 3);
    EXPECT_FALSE(IsSounding(button));
    ClickAt(530, 80);
    EXPECT_EQ(FlyCountSetting, 3);

    ClickAt(139, 218);  // lower left
    EXPECT_EQ(SpeedSetting, 0);
    button->Stop();
    ClickAt(125, 200);
    EXPECT_EQ(SpeedSetting, 0);
    EXPECT_FALSE(IsSounding(button));
    ClickAt(500, 182);  // lower right
    ClickAt(500, 182);
    ClickAt(500, 182);
    EXPECT_EQ(SpeedSetting, 3);
    EXPECT_TRUE(IsSounding(button));
    button->Stop();
    ClickAt(500, 182);
    ClickAt(500, 219);
    EXPECT_EQ(SpeedSetting, 3);
    EXPECT_FALSE(IsSounding(button));
    EXPECT_EQ(SceneState, STATE_MODE_FRAME);

    // Without a buffer the arrows still work, in silence.
    SND_BUTTON = nullptr;
    ClickAt(120, 80);
    EXPECT_EQ(FlyCountSetting, 2);
    button->Release();
}

// Every edge of the four arrow regions, with both settings in the middle so that
// each arrow would act.
TEST_F(ModeSelect, ArrowRegionEdges) {
    struct Case {
        int x, y;
        int count, speed;  // the settings after the click, from 2 and 2
    };
    // clang-format off
    const Case cases[] = {
        {110, 66, 1, 2},  {139, 102, 1, 2}, {109, 80, 2, 2},  {140, 80, 2, 2},
        {120, 65, 2, 2},  {120, 103, 2, 2}, {500, 66, 3, 2},  {529, 102, 3, 2},
        {499, 80, 2, 2},  {530, 80, 2, 2},  {520, 65, 2, 2},  {520, 103, 2, 2},
        {110, 182, 2, 1}, {139, 218, 2, 1}, {109, 200, 2, 2}, {140, 200, 2, 2},
        {120, 181, 2, 2}, {120, 219, 2, 2}, {500, 182, 2, 3}, {529, 218, 2, 3},
        {499, 200, 2, 2}, {530, 200, 2, 2}, {520, 181, 2, 2}, {520, 219, 2, 2},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        FlyCountSetting = 2;
        SpeedSetting = 2;
        ClickAt(c.x, c.y);
        EXPECT_EQ(FlyCountSetting, c.count);
        EXPECT_EQ(SpeedSetting, c.speed);
    }
}

TEST_F(ModeSelect, StartAndBackRegions) {
    LPDIRECTSOUNDBUFFER ok = MakeProbeSound();
    ASSERT_NE(ok, nullptr);
    SND_OK = ok;

    struct Case {
        int x, y, next;  // next 0: no leave
    };
    // clang-format off
    const Case cases[] = {
        {175, 301, STATE_PLAY_ENTER}, {465, 343, STATE_PLAY_ENTER}, {174, 300, 0}, {174, 320, 0},
        {300, 300, 0},                {466, 320, 0},                {300, 344, 0},
        {256, 381, STATE_TITLE_ENTER}, {384, 420, STATE_TITLE_ENTER}, {255, 381, 0},
        {256, 421, 0},                {385, 400, 0},                {300, 380, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        SceneState = STATE_MODE_FRAME;
        NextState = 0;
        ok->Stop();
        ClickAt(c.x, c.y);
        if (c.next != 0) {
            EXPECT_EQ(SceneState, STATE_MODE_LEAVE);
            EXPECT_EQ(NextState, c.next);
            EXPECT_TRUE(IsSounding(ok));
        } else {
            EXPECT_EQ(SceneState, STATE_MODE_FRAME);
            EXPECT_EQ(NextState, 0);
            EXPECT_FALSE(IsSounding(ok));
        }
    }
    EXPECT_EQ(FlyCountSetting, 1);
    EXPECT_EQ(SpeedSetting, 1);
    ok->Release();
}

TEST_F(ModeSelect, EnterLowersTheMusicAndLeaveShowsIndex156) {
    LPDIRECTSOUNDBUFFER music = MakeProbeSound();
    ASSERT_NE(music, nullptr);
    SND_BGM = music;
    music->SetVolume(-1000);
    EnterModeSelect();
    EXPECT_EQ(VolumeOf(music), -1500);
    BuildSheet();

    DrawModeSelect();
    long long flips = FlipCount();
    LeaveModeSelect();
    EXPECT_EQ(FlipCount(), flips + 1);
    const IDirectDrawSurface* front = PrimarySurface();
    ASSERT_NE(front, nullptr);
    int other = 0;
    for (BYTE pixel : front->pixels) other += pixel != 156;
    EXPECT_EQ(other, 0);
    music->Release();
}
