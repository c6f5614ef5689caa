// The window procedure: keys, click routing, the mouse flag and re-activation.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "media/display.h"
#include "media/sound.h"
#include "platform/stand_in/runtime.h"
#include "scenes/play.h"
#include "shell/globals.h"
#include "shell/winmain.h"
#include "tests/support/game_fixture.h"

namespace {

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override { StartHeadlessGame(); }
    void Key(WPARAM vk) { WndProc(hWnd, WM_KEYDOWN, vk, 1); }
    void ClickAt(int x, int y) {
        MoveCursor(x, y);
        WndProc(hWnd, WM_LBUTTONDOWN, 1, 0);
    }
};

TEST_F(ShellTest, EscapeLeavesOnlyTheFrameStates) {
    struct Case {
        int state, scene, next;
    };
    const Case cases[] = {{2, 3, 13}, {5, 6, 1}, {8, 9, 4}};
    for (const Case& c : cases) {
        SceneState = c.state;
        NextState = 0;
        Key(VK_ESCAPE);
        EXPECT_EQ(SceneState, c.scene) << "state " << c.state;
        EXPECT_EQ(NextState, c.next) << "state " << c.state;
    }
    for (int state : {0, 1, 3, 4, 6, 7, 9, 10, 11, 12, 13, 14}) {
        SceneState = state;
        NextState = 42;
        Key(VK_ESCAPE);
        EXPECT_EQ(SceneState, state);
        EXPECT_EQ(NextState, 42);
    }
}

TEST_F(ShellTest, EnterAndSpaceStepTheDivisor) {
    SceneState = 5;
    SpawnDivisor = 15;
    Key(VK_RETURN);
    EXPECT_EQ(SpawnDivisor, 5);
    Key(VK_RETURN);
    EXPECT_EQ(SpawnDivisor, 1);
    Key(VK_RETURN);
    EXPECT_EQ(SpawnDivisor, 1);
    Key(VK_SPACE);
    EXPECT_EQ(SpawnDivisor, 11);
    for (int i = 0; i < 100; ++i) Key(VK_SPACE);
    EXPECT_EQ(SpawnDivisor, 1011);
    Key('A');
    EXPECT_EQ(SpawnDivisor, 1011);
}

TEST_F(ShellTest, ClicksReachOnlyTheFrameStateHandlerAndSetTheMouseFlag) {
    // Outside the frame states a click sets the flag and reaches no scene.
    for (int state : {0, 1, 3, 4, 6, 7, 9, 10, 11, 12, 13}) {
        SceneState = state;
        NextState = 42;
        MouseDown = 0;
        ClickAt(320, 320);
        EXPECT_EQ(SceneState, state);
        EXPECT_EQ(NextState, 42);
        EXPECT_EQ(MouseDown, 1);
        WndProc(hWnd, WM_LBUTTONUP, 0, 0);
        EXPECT_EQ(MouseDown, 0);
    }
    // The mode-select handler: the start button.
    SceneState = 5;
    ClickAt(175, 301);
    EXPECT_EQ(SceneState, 6);
    EXPECT_EQ(NextState, 7);
    EXPECT_EQ(MouseDown, 1);
    // The title handler: the quit entry.
    SceneState = 2;
    ClickAt(300, 350);
    EXPECT_EQ(SceneState, 3);
    EXPECT_EQ(NextState, 13);
    // The play handler: a click on the finished results board leaves.
    SceneState = 8;
    RoundPhase = AwaitingClick;
    ClickAt(10, 10);
    EXPECT_EQ(SceneState, 9);
    EXPECT_EQ(NextState, 4);
    RoundPhase = Playing;
}

TEST_F(ShellTest, ActivationBeforeDirectXExistsGoesToTheDefault) {
    LPDIRECTDRAW dd = lpDD;
    LPDIRECTSOUND ds = lpDS;
    lpDD = nullptr;
    lpDS = nullptr;
    lpSPRITESURFACE->lost = true;
    EXPECT_EQ(WndProc(hWnd, WM_ACTIVATEAPP, 1, 0), 0);
    EXPECT_TRUE(lpSPRITESURFACE->lost);
    lpDD = dd;
    lpDS = ds;
    // Deactivation always goes to the default.
    EXPECT_EQ(WndProc(hWnd, WM_ACTIVATEAPP, 0, 0), 0);
    EXPECT_TRUE(lpSPRITESURFACE->lost);
    EXPECT_EQ(WndProc(hWnd, WM_ACTIVATEAPP, 1, 0), 1);
    EXPECT_FALSE(lpSPRITESURFACE->lost);
}

class RestoreTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        dir = MakeTempDir();
        ASSERT_EQ(chdir(dir.c_str()), 0);
        ASSERT_EQ(std::system("mkdir -p bmp"), 0);
        // A tiny 8-bit bitmap whose every pixel is 77.
        std::string bmp(1078, '\0');
        bmp[0] = 'B';
        bmp[1] = 'M';
        bmp[18] = 4;
        bmp[22] = 2;
        bmp[28] = 8;
        bmp += std::string(8, '\x4d');
        WriteFileBytes("bmp/gamemode.bmp", bmp);
        FillSprite(0, 0, 640, 630, 1);
        SetSpriteKey(255);
    }
    std::string dir;
};

TEST_F(RestoreTest, LostSpriteSurfaceReloadsTheSceneBitmap) {
    SceneState = 5;
    lpSPRITESURFACE->lost = true;
    WndProc(hWnd, WM_ACTIVATEAPP, 1, 0);
    EXPECT_FALSE(lpSPRITESURFACE->lost);
    EXPECT_EQ(SpritePixel(0, 0), 0x4d);
    EXPECT_EQ(SpritePixel(3, 1), 0x4d);
    EXPECT_EQ(SpritePixel(4, 0), 1);
    EXPECT_EQ(lpSPRITESURFACE->colorKey, 106);
}

TEST_F(RestoreTest, StateZeroRestoresButLoadsNothing) {
    SceneState = 0;
    lpSPRITESURFACE->lost = true;
    WndProc(hWnd, WM_ACTIVATEAPP, 1, 0);
    EXPECT_FALSE(lpSPRITESURFACE->lost);
    EXPECT_EQ(SpritePixel(0, 0), 1);
    EXPECT_EQ(lpSPRITESURFACE->colorKey, 255);
}

TEST_F(RestoreTest, NothingLostReloadsNothing) {
    SceneState = 5;
    WndProc(hWnd, WM_ACTIVATEAPP, 1, 0);
    EXPECT_EQ(SpritePixel(0, 0), 1);
    EXPECT_EQ(lpSPRITESURFACE->colorKey, 255);
}

TEST_F(RestoreTest, LostFrontSurfaceIsRestored) {
    SceneState = 0;
    lpFRONTSURFACE->lost = true;
    WndProc(hWnd, WM_ACTIVATEAPP, 1, 0);
    EXPECT_FALSE(lpFRONTSURFACE->lost);
}

// The messages that end the game. Each test brings the display and the sound back up
// afterwards, so that the tests after it find them as the fixture left them.
class EndMessagesTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        if (!lpDS) {
            ASSERT_EQ(InitSound(), 1);
        }
    }
    void BringBack() {
        ASSERT_EQ(InitDisplay(), 1);
        ASSERT_EQ(InitSound(), 1);
    }
    void ExpectReleasedAndQuitPosted() {
        EXPECT_EQ(lpDD, nullptr);
        EXPECT_EQ(lpFRONTSURFACE, nullptr);
        EXPECT_EQ(lpBACKSURFACE, nullptr);
        EXPECT_EQ(lpPALETTE, nullptr);
        EXPECT_EQ(lpSPRITESURFACE, nullptr);
        EXPECT_EQ(lpDS, nullptr);
        MSG msg;
        ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
        EXPECT_EQ(msg.message, WM_QUIT);
        EXPECT_EQ(msg.wParam, 0u);
        EXPECT_FALSE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    }
};

TEST_F(EndMessagesTest, DestroyReleasesDisplayAndSoundThenPostsQuit) {
    ASSERT_NE(lpDD, nullptr);
    ASSERT_NE(lpDS, nullptr);
    EXPECT_EQ(WndProc(hWnd, WM_DESTROY, 0, 0), 0);
    ExpectReleasedAndQuitPosted();
    BringBack();
}

TEST_F(EndMessagesTest, CloseWritesTheBestTimesThenDestroysTheWindow) {
    const std::string dir = MakeTempDir();
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    EXPECT_EQ(WndProc(hWnd, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(ReadFileBytes("hiscoa.sav").size(), 332u);
    ExpectReleasedAndQuitPosted();
    // The window is gone: a second destroy finds nothing.
    EXPECT_EQ(DestroyWindow(hWnd), FALSE);
    ASSERT_EQ(chdir(here), 0);
    ResetWindowForTest();
    ASSERT_EQ(CreateGameWindow(nullptr), 1);
    BringBack();
}

}  // namespace
