// The sounds of a round: the buzz that swells with the number of live flies, and the
// three copies of the hit sound taken in turn while earlier ones still sound.
#include <gtest/gtest.h>
#include <unistd.h>

#include "media/sound.h"
#include "objects/instances.h"
#include "scenes/play.h"
#include "shell/globals.h"
#include "tests/support/game_fixture.h"

namespace {

LPDIRECTSOUNDBUFFER MakeBuffer(LPDIRECTSOUND ds) {
    // One second of silence: long enough to still be playing while no flip passes.
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
    DSBUFFERDESC desc = {
        sizeof(DSBUFFERDESC), DSBCAPS_STATIC | DSBCAPS_CTRLVOLUME, 44100, 0, &format, {}};
    LPDIRECTSOUNDBUFFER buffer = nullptr;
    EXPECT_EQ(ds->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
    return buffer;
}

DWORD Status(LPDIRECTSOUNDBUFFER buffer) {
    DWORD status = 0;
    buffer->GetStatus(&status);
    return status;
}

LONG Volume(LPDIRECTSOUNDBUFFER buffer) {
    LONG volume = 1;
    buffer->GetVolume(&volume);
    return volume;
}

class PlaySoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartHeadlessGame();
        ASSERT_EQ(chdir(MakeTempDir().c_str()), 0);
        ASSERT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
        cry = MakeBuffer(ds);
        bgm = MakeBuffer(ds);
        for (auto& hit : hits) hit = MakeBuffer(ds);
        FlyCountSetting = 1;
        SpeedSetting = 1;
        EnterPlay();
        SceneState = STATE_PLAY_FRAME;
        FliesSpawned = TargetFlies;  // only the flies a test places
    }
    void TearDown() override {
        Flies.Clear();
        SwatMarks.Clear();
        FallingBodies.Clear();
        DebrisA.Clear();
        DebrisB.Clear();
        SND_CRY = SND_BGM = SND_HIT_1 = SND_HIT_2 = SND_HIT_3 = nullptr;
        ds->Release();
    }
    void UseSlots() {
        SND_CRY = cry;
        SND_BGM = bgm;
        SND_HIT_1 = hits[0];
        SND_HIT_2 = hits[1];
        SND_HIT_3 = hits[2];
    }
    void PlaceFlies(int n) {
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(Flies.Add(2.0), 1);
            FlyState* fly = Flies.PeekAt(Flies.Count() - 1);
            fly->x = 100 + 40 * (Flies.Count() % 10);
            fly->y = 100 + 60 * (Flies.Count() / 10);
        }
    }
    void SwatAt(int x, int y) {
        PlaceFlies(1);
        FlyState* fly = Flies.PeekAt(Flies.Count() - 1);
        fly->x = x;
        fly->y = y;
        int before = FliesSwatted;
        MoveCursor(x + 1, y + 1);
        PlayClick();
        ASSERT_EQ(FliesSwatted, before + 1);
    }

    LPDIRECTSOUND ds = nullptr;
    LPDIRECTSOUNDBUFFER cry = nullptr, bgm = nullptr, hits[3] = {};
};

TEST_F(PlaySoundTest, RoundStartSetsTheLevels) {
    UseSlots();
    EnterPlay();
    EXPECT_EQ(Volume(cry), -1500);
    EXPECT_EQ(Volume(bgm), -1000);
    // The buzz waits for the first fly.
    EXPECT_EQ(Status(cry), 0u);
}

TEST_F(PlaySoundTest, BuzzFollowsTheLiveFlies) {
    UseSlots();
    UpdateBuzz();
    EXPECT_EQ(Status(cry), 0u);

    PlaceFlies(1);
    UpdateBuzz();
    EXPECT_EQ(Status(cry), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    EXPECT_EQ(Volume(cry), -1400);
    PlaceFlies(13);
    UpdateBuzz();
    EXPECT_EQ(Volume(cry), -100);
    PlaceFlies(1);
    UpdateBuzz();
    EXPECT_EQ(Volume(cry), 0);
    PlaceFlies(10);
    UpdateBuzz();
    EXPECT_EQ(Volume(cry), 0);  // never above full level
    EXPECT_EQ(Status(cry), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);

    // The frame keeps it up to date too.
    Flies.Clear();
    PlaceFlies(3);
    PlayFrame();
    EXPECT_EQ(Volume(cry), -1200);

    Flies.Clear();
    UpdateBuzz();
    EXPECT_EQ(Status(cry), 0u);

    // Leaving the round silences it.
    PlaceFlies(2);
    UpdateBuzz();
    ASSERT_NE(Status(cry), 0u);
    LeavePlay();
    EXPECT_EQ(Status(cry), 0u);
}

TEST_F(PlaySoundTest, HitSoundsTakeTheFirstFreeCopy) {
    UseSlots();
    SwatAt(100, 100);
    EXPECT_EQ(Status(hits[0]), DSBSTATUS_PLAYING);
    EXPECT_EQ(Status(hits[1]), 0u);
    SwatAt(200, 100);
    EXPECT_EQ(Status(hits[1]), DSBSTATUS_PLAYING);
    EXPECT_EQ(Status(hits[2]), 0u);
    SwatAt(300, 100);
    EXPECT_EQ(Status(hits[2]), DSBSTATUS_PLAYING);
    // All three sounding: the third is asked again and goes on as it is.
    SwatAt(400, 100);
    EXPECT_EQ(Status(hits[2]), DSBSTATUS_PLAYING);

    // The first copy free again is the one taken.
    hits[0]->Stop();
    SwatAt(500, 100);
    EXPECT_EQ(Status(hits[0]), DSBSTATUS_PLAYING);
}

TEST_F(PlaySoundTest, EmptySlotsAreSkipped) {
    // No buzz and no hit sounds at all: the round goes on in silence.
    PlaceFlies(2);
    UpdateBuzz();
    EXPECT_EQ(Status(cry), 0u);
    Flies.Clear();
    SwatAt(100, 100);
    for (auto* hit : hits) EXPECT_EQ(Status(hit), 0u);

    // A missing second copy: the second swat is silent rather than taking the third.
    SND_HIT_1 = hits[0];
    SND_HIT_3 = hits[2];
    SwatAt(200, 100);
    EXPECT_EQ(Status(hits[0]), DSBSTATUS_PLAYING);
    SwatAt(300, 100);
    EXPECT_EQ(Status(hits[2]), 0u);
    EXPECT_EQ(FliesSwatted, 3);
}

}  // namespace
