// A round of play driven frame by frame on the headless display: settings, swats, the
// effects of a swat, the clock, the clear and the results board, and leaving.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "media/random.h"
#include "objects/instances.h"
#include "platform/stand_in/runtime.h"
#include "replay/replay_measure.h"
#include "replay/steer_forecast.h"
#include "scenes/best_times.h"
#include "scenes/play.h"
#include "scenes/play_aim.h"
#include "shell/globals.h"
#include "shell/winmain.h"
#include "tests/support/game_fixture.h"

namespace {

class PlayRoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartHeadlessGame();
        ASSERT_EQ(chdir(MakeTempDir().c_str()), 0);
        ClearPlayLists();
        ResetBestTimes();
    }
    void TearDown() override {
        ClearPlayLists();
        FlyCountSetting = 1;
        SpeedSetting = 1;
        MouseDown = 0;
    }

    void StartRound(int flyCount, int speed) {
        FlyCountSetting = flyCount;
        SpeedSetting = speed;
        EXPECT_EQ(EnterPlay(), 1);
        SceneState = STATE_PLAY_FRAME;
    }
    // No more flies come in this round unless the test places them.
    void StopSpawning() { FliesSpawned = TargetFlies; }
    void PlaceFly(double x, double y) {
        ASSERT_EQ(Flies.Add(BaseSpeed), 1);
        FlyState* fly = Flies.PeekAt(Flies.Count() - 1);
        fly->x = x;
        fly->y = y;
    }
    void ClickAt(int x, int y) {
        MoveCursor(x, y);
        EXPECT_EQ(PlayClick(), 1);
    }
    void Frames(int n) {
        for (int i = 0; i < n; ++i) PlayFrame();
    }
    std::vector<DrawPos> Records(DrawPos* first) {
        std::vector<DrawPos> out;
        for (DrawPos* p = first; !IsEnd(p); p = p->next) out.push_back(*p);
        return out;
    }
    void Key(WPARAM key) { WndProc(hWnd, WM_KEYDOWN, key, 0); }
    // The oldest fly a cursor on the screen reaches: its index and the test player's pixel.
    bool Aim(int* fly, int* x, int* y) {
        int i = 0;
        for (DrawPos* p = Flies.Get(); !IsEnd(p); p = p->next, ++i)
            if (AutoplayAimAt(p->x, p->y, x, y)) return *fly = i, true;
        return false;
    }
};

TEST_F(PlayRoundTest, EachRoundStartsFromTheModeSettings) {
    const int target[4] = {10, 30, 100, 1000};
    const int divisor[4] = {25, 20, 15, 5};
    const double speed[4] = {1.0, 2.0, 4.0, 8.0};
    for (int c = 0; c < 4; ++c) {
        for (int s = 0; s < 4; ++s) {
            FliesSwatted = 5;
            FliesSpawned = 5;
            RoundPhase = AwaitingClick;
            SpawnDivisor = 1;  // as left by the keys in the round before
            StartRound(c, s);
            EXPECT_EQ(TargetFlies, target[c]);
            EXPECT_EQ(SpawnDivisor, divisor[c]);
            EXPECT_EQ(BaseSpeed, speed[s]);
            EXPECT_EQ(RoundPhase, Playing);
            EXPECT_EQ(FliesSwatted, 0);
            EXPECT_EQ(FliesSpawned, 0);
            EXPECT_EQ(PhaseFrames, 0);
            EXPECT_EQ(RoundStartTick, GetTickCount());
            // Every round replays from the calendar time.
            EXPECT_EQ(RandomState(), static_cast<std::uint32_t>(CalendarTime()));
        }
    }
}

TEST_F(PlayRoundTest, HitBoxEdges) {
    // A fly at (200, 150): the hot spot (cursor + 8) must lie in 184..234 x 134..184.
    struct Case {
        int cx, cy;
        bool hit;
        // clang-format off
    } cases[] = {
        {176, 151, true},  {175, 151, false}, {226, 151, true},  {227, 151, false},
        {201, 126, true},  {201, 125, false}, {201, 176, true},  {201, 177, false},
        {176, 126, true},  {226, 176, true},  {175, 125, false}, {227, 177, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        ClearPlayLists();
        StartRound(1, 1);
        PlaceFly(200.7, 150.9);  // positions are truncated for the test
        ClickAt(c.cx, c.cy);
        EXPECT_EQ(FliesSwatted, c.hit ? 1 : 0) << c.cx << "," << c.cy;
        EXPECT_EQ(Flies.Count(), c.hit ? 0 : 1) << c.cx << "," << c.cy;
        EXPECT_EQ(FallingBodies.Count(), c.hit ? 1 : 0);
    }
}

// One debris velocity component from the draws p, q: 0..9 for an even p, -9..0 for an
// odd one.
double Component(int p, int q) {
    if (p % 2 == 0) return q % 10;
    return -((10 - q % 10) % 10);
}

TEST_F(PlayRoundTest, OneClickSwatsEveryFlyUnderIt) {
    StartRound(1, 1);
    PlaceFly(200, 150);
    PlaceFly(500, 400);
    PlaceFly(210, 160);

    const std::uint32_t seed = 12345;
    SeedRandom(seed);
    std::vector<int> draws;
    for (int i = 0; i < 129; ++i) draws.push_back(NextRandom());
    SeedRandom(seed);

    ClickAt(201, 151);
    // Two flies, sixteen pieces each, four draws a piece, and no other draw.
    EXPECT_EQ(NextRandom(), draws[128]);
    EXPECT_EQ(FliesSwatted, 2);
    auto flies = Records(Flies.Get());
    ASSERT_EQ(flies.size(), 1u);
    EXPECT_EQ(flies[0].x, 500);
    EXPECT_EQ(DebrisA.Count(), 16);
    EXPECT_EQ(DebrisB.Count(), 16);

    auto bodies = Records(FallingBodies.Get());
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_EQ(bodies[0].x, 196);
    EXPECT_EQ(bodies[0].y, 150);
    EXPECT_EQ(bodies[1].x, 206);
    EXPECT_EQ(bodies[1].y, 160);
    auto marks = Records(SwatMarks.Get());
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0].x, 196);
    EXPECT_EQ(marks[0].y, 150);
    EXPECT_EQ(marks[1].x, 206);
    EXPECT_EQ(marks[1].y, 160);

    // Each piece takes four draws: sign and value of vx, then of vy; the first fly's
    // eight pieces of each set, then the second fly's.
    auto a = Records(DebrisA.Update());
    auto b = Records(DebrisB.Update());
    ASSERT_EQ(a.size(), 16u);
    ASSERT_EQ(b.size(), 16u);
    for (int fly = 0; fly < 2; ++fly) {
        int x = fly == 0 ? 200 : 210, y = fly == 0 ? 150 : 160;
        for (int set = 0; set < 2; ++set) {
            for (int i = 0; i < 8; ++i) {
                const int* d = &draws[64 * fly + 32 * set + 4 * i];
                const DrawPos& piece = (set == 0 ? a : b)[8 * fly + i];
                EXPECT_EQ(piece.x, x + Component(d[0], d[1])) << fly << "/" << set << "/" << i;
                EXPECT_EQ(piece.y, y + Component(d[2], d[3])) << fly << "/" << set << "/" << i;
            }
        }
    }
}

TEST_F(PlayRoundTest, EffectsOfASwatRunTheirCourse) {
    StartRound(1, 1);
    StopSpawning();
    PlaceFly(300, 440);
    ClickAt(301, 441);
    ASSERT_EQ(FliesSwatted, 1);

    // Eight pieces in each set, shown in two frames.
    EXPECT_EQ(DebrisA.Count(), 8);
    EXPECT_EQ(DebrisB.Count(), 8);
    Frames(1);
    EXPECT_EQ(DebrisA.Count(), 8);
    EXPECT_EQ(DebrisB.Count(), 8);
    Frames(1);
    EXPECT_EQ(DebrisA.Count(), 0);
    EXPECT_EQ(DebrisB.Count(), 0);

    // The body rises from y 440, falls, and reaches the floor in its 34th frame.
    Frames(31);
    EXPECT_EQ(FallingBodies.Count(), 1);
    EXPECT_EQ(BouncingBodies.Count(), 0);
    Frames(1);
    EXPECT_EQ(FallingBodies.Count(), 0);
    ASSERT_EQ(BouncingBodies.Count(), 1);
    DrawPos bounced = *BouncingBodies.Get();
    EXPECT_EQ(bounced.x, 296);
    EXPECT_EQ(bounced.y, 464);

    // It rises to 404 and is gone once below 500, 36 frames after the bounce; it
    // never bounces again.
    int highest = 464, frames = 0;
    while (BouncingBodies.Count() > 0 && frames < 100) {
        Frames(1);
        ++frames;
        EXPECT_EQ(FallingBodies.Count(), 0);
        if (BouncingBodies.Count() > 0) {
            DrawPos p = *BouncingBodies.Get();
            EXPECT_LT(p.y, 500);
            highest = std::min(highest, p.y);
        }
    }
    EXPECT_EQ(frames, 36);
    EXPECT_EQ(highest, 404);

    // The mark lives 450 frames.
    EXPECT_EQ(SwatMarks.Count(), 1);
    Frames(449 - 2 - 32 - 36);
    EXPECT_EQ(SwatMarks.Count(), 1);
    Frames(1);
    EXPECT_EQ(SwatMarks.Count(), 0);
}

TEST_F(PlayRoundTest, ClockRunsFromTheTickCountAndWraps) {
    // Start just before the tick count wraps.
    SetTickOrigin(0);
    SetTickOrigin(0xFFFFFF00u - GetTickCount());
    StartRound(1, 1);
    ASSERT_EQ(RoundStartTick, 0xFFFFFF00u);
    StopSpawning();

    // Make the next flip read 125 minutes, 7 seconds and 123 ms after the start.
    SetTickOrigin(0);
    DWORD sinceOrigin = static_cast<DWORD>((FlipCount() + 1) * 1000 / 60);
    SetTickOrigin(0xFFFFFF00u + 7507123u - sinceOrigin);
    Frames(1);
    EXPECT_EQ(RoundLastTick, 0xFFFFFF00u + 7507123u);  // wrapped past zero
    EXPECT_EQ(ClockMinutes, 125);
    EXPECT_EQ(ClockSeconds, 7);
    EXPECT_EQ(ClockMillis, 123);
}

TEST_F(PlayRoundTest, ClearResultsBoardAndLeaving) {
    StartRound(0, 2);  // 10 flies, row 2
    StopSpawning();
    FliesSwatted = 9;
    Frames(3);
    PlaceFly(100, 100);
    ClickAt(101, 101);
    EXPECT_EQ(FliesSwatted, 10);
    EXPECT_EQ(RoundPhase, Playing);  // seen in the next frame

    Frames(1);
    EXPECT_EQ(RoundPhase, Recording);
    EXPECT_EQ(ResultBlink.Count(), 1);
    EXPECT_EQ(PhaseFrames, 0);
    DWORD clearTick = GetTickCount();
    EXPECT_EQ(RoundLastTick, clearTick);
    int millis = ClockMillis, seconds = ClockSeconds;
    std::uint32_t elapsed = RoundLastTick - RoundStartTick;
    EXPECT_EQ(static_cast<std::uint32_t>(seconds * 1000 + millis), elapsed);

    Frames(1);
    EXPECT_EQ(RoundPhase, ShowingResults);
    EXPECT_EQ(BestTimes[2][0], static_cast<int>(elapsed));
    EXPECT_EQ(BestTimes[2][1], DEFAULT_BEST_TIME);
    EXPECT_EQ(BoardSeconds[0] * 1000 + BoardMillis[0], static_cast<int>(elapsed));
    EXPECT_EQ(BoardMinutes[1], 59);

    // Clicks during the 61 frames of the board change nothing.
    for (int i = 1; i <= 61; ++i) {
        ASSERT_EQ(RoundPhase, ShowingResults) << "frame " << i;
        ClickAt(320, 240);
        EXPECT_EQ(SceneState, STATE_PLAY_FRAME);
        Frames(1);
    }
    EXPECT_EQ(RoundPhase, AwaitingClick);
    // The clock kept the clear time while the tick count went on.
    EXPECT_GT(GetTickCount(), clearTick);
    EXPECT_EQ(RoundLastTick, clearTick);
    EXPECT_EQ(ClockMillis, millis);
    EXPECT_EQ(ClockSeconds, seconds);

    ClickAt(320, 240);
    EXPECT_EQ(SceneState, STATE_PLAY_LEAVE);
    EXPECT_EQ(NextState, STATE_MODE_ENTER);
    EXPECT_EQ(FliesSwatted, 10);
}

TEST_F(PlayRoundTest, EscapeLeavesFromEveryPhase) {
    for (int phase : {Playing, Recording, ShowingResults, AwaitingClick}) {
        std::filesystem::remove("hiscoa.sav");
        StartRound(1, 1);
        PlaceFly(300, 300);
        PlaceFly(100, 100);
        ClickAt(301, 301);
        Frames(2);
        if (phase != Playing) ResultBlink.Add(0, 0);
        RoundPhase = phase;

        Key(VK_ESCAPE);
        EXPECT_EQ(SceneState, STATE_PLAY_LEAVE) << "phase " << phase;
        EXPECT_EQ(NextState, STATE_MODE_ENTER);
        RunSceneStep();
        EXPECT_EQ(SceneState, STATE_MODE_ENTER);

        // Every list is empty and the screen shows the plain fill.
        EXPECT_EQ(Flies.Count(), 0);
        EXPECT_EQ(SwatMarks.Count(), 0);
        EXPECT_EQ(ResultBlink.Count(), 0);
        EXPECT_EQ(FallingBodies.Count(), 0);
        EXPECT_EQ(BouncingBodies.Count(), 0);
        EXPECT_EQ(DebrisA.Count(), 0);
        EXPECT_EQ(DebrisB.Count(), 0);
        const auto& front = PrimarySurface()->pixels;
        EXPECT_EQ(std::count(front.begin(), front.end(), 0), 640 * 480);

        // An abandoned round records nothing, but the table is written all the same.
        std::string file = ReadFileBytes("hiscoa.sav");
        ASSERT_EQ(file.size(), 332u) << "phase " << phase;
        EXPECT_EQ(BestTimes[5][0], DEFAULT_BEST_TIME);
    }
}

TEST_F(PlayRoundTest, KeysChangeTheSpawnRate) {
    StartRound(1, 1);
    ASSERT_EQ(SpawnDivisor, 20);
    Key(VK_RETURN);
    EXPECT_EQ(SpawnDivisor, 10);
    Key(VK_RETURN);
    EXPECT_EQ(SpawnDivisor, 1);

    // Divisor 1: a fly every frame until the round's thirty have come.
    for (int i = 1; i <= 30; ++i) {
        Frames(1);
        ASSERT_EQ(FliesSpawned, i);
    }
    Frames(5);
    EXPECT_EQ(FliesSpawned, 30);
    EXPECT_EQ(Flies.Count(), 30);
    // Each fly's speed is the base speed plus a tenth step.
    for (int i = 0; i < 30; ++i) {
        double step = (Flies.PeekAt(i)->speed - 2.0) * 10;
        EXPECT_NEAR(step, std::round(step), 1e-9);
        EXPECT_GE(std::round(step), 0);
        EXPECT_LE(std::round(step), 9);
    }

    Key(VK_SPACE);
    EXPECT_EQ(SpawnDivisor, 11);
}

// The verifier's forecast of what the random sequence deals plays a round as the round
// plays: frame by frame, with swats among them, the same flies, spawns and sequence; and
// ranking a press leaves the game's own sequence where it was.
TEST_F(PlayRoundTest, TheVerifiersForecastDealsAsTheRoundDoes) {
    for (int mode = 0; mode < 4; ++mode) {
        StartRound(mode, mode);
        Frames(40);
        static Deal deal, ring[kForecastSpan + 1], scratch[2];
        CaptureDeal(&deal);
        int swats = 0;
        for (int frame = 0; frame < 400; ++frame) {
            // Every 25th frame a press on the oldest fly a cursor can reach, in the forecast
            // and the round (one fly is left to the end).
            int fly = 0, x = 0, y = 0;
            if (frame % 25 == 0 && Flies.Count() > 1 && Aim(&fly, &x, &y)) {
                bool hit = false;
                const int forecast = PressDeal(&deal, x, y, fly, &hit);
                const int before = FliesSwatted;
                ClickAt(x, y);
                ASSERT_EQ(forecast, FliesSwatted - before) << "mode " << mode << " frame " << frame;
                EXPECT_TRUE(hit);
                swats += forecast;
            }
            PlayFrame();
            StepDeal(&deal);
            ASSERT_EQ(deal.random, RandomState()) << "mode " << mode << " frame " << frame;
            ASSERT_EQ(deal.spawned, FliesSpawned);
            ASSERT_EQ(deal.count, Flies.Count());
            for (int i = 0; i < deal.count; ++i) {
                ASSERT_EQ(deal.flies[i].x, Flies.PeekAt(i)->x) << "fly " << i;
                ASSERT_EQ(deal.flies[i].y, Flies.PeekAt(i)->y) << "fly " << i;
            }
        }
        EXPECT_GT(swats, 5) << "mode " << mode;
        // Ranking the press on the oldest fly a cursor reaches, from the deals of the frames
        // before (played until one can be reached).
        const Deal* order[kForecastSpan + 1];
        int fly = 0, x = 0, y = 0;
        for (int tries = 0; tries < 100; ++tries) {
            for (int k = 0; k <= kForecastSpan; ++k) {
                if (k > 0) PlayFrame();
                CaptureDeal(&ring[k]);
                order[k] = &ring[k];
            }
            if (Aim(&fly, &x, &y)) break;
        }
        ASSERT_TRUE(Aim(&fly, &x, &y)) << "mode " << mode;
        const std::uint32_t sequence = RandomState();
        PressRank rank;
        RankPress(order, kForecastSpan, -kForecastSpan, x, y, fly, scratch, &rank);
        EXPECT_EQ(RandomState(), sequence);
        EXPECT_GE(rank.alternatives, 1);
        EXPECT_LE(rank.atBest, rank.alternatives);
        EXPECT_GE(rank.atBest, 1);
        ClearPlayLists();
    }
}

// A long round's ranked swats: every tenth without a key; with the board's secret key,
// about one in ten still, but others, and others again for another key.
TEST(SteerSample, TheKeyChoosesWhichSwatsAreRanked) {
    int plain = 0, keyed = 0, shared = 0, otherKey = 0;
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(SteerSampled(0, i, 10), i % 10 == 0) << i;
        EXPECT_TRUE(SteerSampled(0x5eed, i, 1));
        const bool a = SteerSampled(0x5eed, i, 10), b = SteerSampled(0xfeed, i, 10);
        EXPECT_EQ(a, SteerSampled(0x5eed, i, 10));
        plain += i % 10 == 0;
        keyed += a;
        shared += a && i % 10 == 0;
        otherKey += a && b;
    }
    EXPECT_EQ(plain, 100);
    EXPECT_GT(keyed, 60);
    EXPECT_LT(keyed, 140);
    EXPECT_LT(shared, keyed / 3);
    EXPECT_LT(otherKey, keyed / 3);
    std::uint64_t key = 1;
    unsetenv("ZUMBLE_SAMPLE_KEY");
    EXPECT_TRUE(SampleKeyFromEnvironment(&key));
    EXPECT_EQ(key, 0u);
    setenv("ZUMBLE_SAMPLE_KEY", "00fF", 1);
    EXPECT_TRUE(SampleKeyFromEnvironment(&key));
    EXPECT_EQ(key, 255u);
    for (const char* bad : {"", "zz", "12 ", "-1", "1ffffffffffffffff"}) {
        setenv("ZUMBLE_SAMPLE_KEY", bad, 1);
        EXPECT_FALSE(SampleKeyFromEnvironment(&key)) << "'" << bad << "'";
    }
    unsetenv("ZUMBLE_SAMPLE_KEY");
}

}  // namespace
