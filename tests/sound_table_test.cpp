// The eleven sound slots: loading at start-up, the refill on re-activation, release,
// and the statuses the swing and hit choices are made from.

#include <sys/stat.h>

#include "media/sound.h"
#include "shell/globals.h"
#include "shell/winmain.h"
#include "tests/support/sound_test_helpers.h"

using namespace soundtest;

namespace {

const char* const kFiles[] = {"cry1", "swing1",  "hit1",    "button1",
                              "ok1",  "tclick1", "tclick2", "bgm1"};

// Each file's samples: 0.1 s of one byte value, so a buffer tells which file filled it.
std::string Samples(char mark) { return std::string(4410, mark); }

class SoundTable : public ::testing::Test {
protected:
    void SetUp() override {
        g_Options.headless = true;
        SetLoadReport(AddToErrorLog);  // as WinMain does
        ASSERT_EQ(chdir(TempDir().c_str()), 0);
        mkdir("wave", 0755);
        for (int i = 0; i < 8; ++i) Put(kFiles[i], static_cast<char>('A' + i));
        EmptySoundTable();
        SND_BGM = nullptr;
    }
    void TearDown() override { ReleaseSound(); }

    static void Put(const std::string& name, char mark) {
        WriteFile("wave/" + name + ".wav", Wave(Samples(mark), 1, 16, 22050));
    }
    static char Mark(LPDIRECTSOUNDBUFFER slot) {
        const std::string bytes = BufferBytes(slot, 4410);
        return bytes.empty() ? '?' : bytes[0];
    }
    static DWORD Status(LPDIRECTSOUNDBUFFER slot) {
        DWORD s = 0xFF;
        slot->GetStatus(&s);
        return s;
    }
    static LONG Volume(LPDIRECTSOUNDBUFFER slot) {
        LONG v = 1;
        slot->GetVolume(&v);
        return v;
    }
};

TEST_F(SoundTable, StartUpLoadsEverySlotWithItsVolumeAndStartsTheMusic) {
    const int before = errorLog.Count();
    ASSERT_EQ(InitSound(), 1);
    EXPECT_EQ(CodesSince(before), Codes{});
    ASSERT_NE(lpDS, nullptr);
    struct Expect {
        LPDIRECTSOUNDBUFFER slot;
        char mark;
        LONG volume;
        // clang-format off
    } expect[] = {
        {SND_CRY, 'A', -1500},    {SND_SWING_A, 'B', -200}, {SND_SWING_B, 'B', -200},
        {SND_HIT_1, 'C', -1000},  {SND_HIT_2, 'C', -1000},  {SND_HIT_3, 'C', -1000},
        {SND_BUTTON, 'D', 0},     {SND_OK, 'E', 0},         {SND_TCLICK_1, 'F', -500},
        {SND_TCLICK_2, 'G', -500}, {SND_BGM, 'H', -1500},
    };
    // clang-format on
    for (int i = 0; i < 11; ++i) {
        ASSERT_NE(expect[i].slot, nullptr) << i;
        EXPECT_EQ(Mark(expect[i].slot), expect[i].mark) << i;
        EXPECT_EQ(Volume(expect[i].slot), expect[i].volume) << i;
        EXPECT_EQ(Status(expect[i].slot), i == 10 ? DSBSTATUS_PLAYING | DSBSTATUS_LOOPING : 0u)
            << i;
        for (int j = 0; j < i; ++j) EXPECT_NE(expect[i].slot, expect[j].slot) << i << " " << j;
    }
    ReleaseSound();
    EXPECT_EQ(lpDS, nullptr);
    EXPECT_EQ(SND_BGM, nullptr);
    EXPECT_EQ(SND_CRY, nullptr);
}

TEST_F(SoundTable, AMissingHitFileLeavesAllThreeCopiesEmpty) {
    std::remove("wave/hit1.wav");
    const int before = errorLog.Count();
    ASSERT_EQ(InitSound(), 1);
    EXPECT_EQ(CodesSince(before), (Codes{"ERROR_1", "ERROR_1", "ERROR_1"}));
    EXPECT_EQ(SND_HIT_1, nullptr);
    EXPECT_EQ(SND_HIT_2, nullptr);
    EXPECT_EQ(SND_HIT_3, nullptr);
    EXPECT_NE(SND_OK, nullptr);
    EXPECT_NE(SND_BGM, nullptr);
}

TEST_F(SoundTable, ReactivationRefillsInItsOrderAndStopsAtTheFirstFailure) {
    std::remove("wave/button1.wav");
    ASSERT_EQ(InitSound(), 1);
    ASSERT_EQ(SND_BUTTON, nullptr);
    LPDIRECTSOUNDBUFFER cry = SND_CRY, tclick1 = SND_TCLICK_1, bgm = SND_BGM;

    // New recordings on disk; the first title click's file is gone.
    Put("cry1", 'a');
    Put("button1", 'd');
    Put("tclick2", 'g');
    Put("bgm1", 'h');
    std::remove("wave/tclick1.wav");
    const int before = errorLog.Count();
    RestoreSound();
    EXPECT_EQ(CodesSince(before), (Codes{"ERROR_1"}));
    EXPECT_EQ(SND_CRY, cry);  // refilled in place
    EXPECT_EQ(Mark(SND_CRY), 'a');
    ASSERT_NE(SND_BUTTON, nullptr);  // was empty: gets a buffer of its own
    EXPECT_EQ(Mark(SND_BUTTON), 'd');
    EXPECT_EQ(Mark(SND_TCLICK_2), 'g');  // before SND_TCLICK_1 ...
    EXPECT_EQ(SND_TCLICK_1, tclick1);    // ... whose failure keeps its buffer ...
    EXPECT_EQ(Mark(SND_TCLICK_1), 'F');
    EXPECT_EQ(SND_BGM, bgm);  // ... and ends the refill before the music
    EXPECT_EQ(Mark(SND_BGM), 'H');
    // Volumes and playing states are left alone.
    EXPECT_EQ(Volume(SND_CRY), -1500);
    EXPECT_EQ(Status(SND_BGM), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
}

TEST_F(SoundTable, WithoutMusicReactivationRefillsNothing) {
    std::remove("wave/bgm1.wav");
    ASSERT_EQ(InitSound(), 1);
    ASSERT_EQ(SND_BGM, nullptr);
    Put("cry1", 'a');
    const int before = errorLog.Count();
    RestoreSound();
    EXPECT_EQ(CodesSince(before), Codes{});
    EXPECT_EQ(Mark(SND_CRY), 'A');
}

TEST_F(SoundTable, SwingsAlternateWhileTheFirstCopySounds) {
    ASSERT_EQ(InitSound(), 1);
    SceneState = STATE_START;  // a click here reaches no scene, only the swing
    WndProc(hWnd, WM_LBUTTONDOWN, 0, 0);
    EXPECT_EQ(Status(SND_SWING_A), DSBSTATUS_PLAYING);
    EXPECT_EQ(Status(SND_SWING_B), 0u);
    Render(MIX_RATE / 20);  // half of the swing
    WndProc(hWnd, WM_LBUTTONDOWN, 0, 0);
    EXPECT_EQ(Status(SND_SWING_B), DSBSTATUS_PLAYING);
    Render(MIX_RATE / 10);  // both have ended
    EXPECT_EQ(Status(SND_SWING_A), 0u);
    EXPECT_EQ(Status(SND_SWING_B), 0u);
    WndProc(hWnd, WM_LBUTTONDOWN, 0, 0);
    EXPECT_EQ(Status(SND_SWING_A), DSBSTATUS_PLAYING);
    EXPECT_EQ(Status(SND_SWING_B), 0u);
    WndProc(hWnd, WM_LBUTTONUP, 0, 0);
}

TEST_F(SoundTable, StatusIsExactlyPlayingOnlyForASoundingOneShot) {
    // The hit and swing choices compare the status with DSBSTATUS_PLAYING itself.
    ASSERT_EQ(InitSound(), 1);
    EXPECT_EQ(Status(SND_HIT_1), 0u);
    SND_HIT_1->Play(0, 0, 0);
    EXPECT_EQ(Status(SND_HIT_1), DSBSTATUS_PLAYING);
    SND_HIT_1->Play(0, 0, DSBPLAY_LOOPING);  // already playing: stays a one-shot
    EXPECT_EQ(Status(SND_HIT_1), DSBSTATUS_PLAYING);
    SND_HIT_2->Play(0, 0, DSBPLAY_LOOPING);
    EXPECT_EQ(Status(SND_HIT_2), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    Render(MIX_RATE / 10 - 10);
    EXPECT_EQ(Status(SND_HIT_1), DSBSTATUS_PLAYING);
    Render(20);
    EXPECT_EQ(Status(SND_HIT_1), 0u);
    EXPECT_EQ(Status(SND_HIT_2), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    SND_HIT_2->Stop();
    EXPECT_EQ(Status(SND_HIT_2), 0u);
}

}  // namespace
