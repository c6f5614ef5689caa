// Expected values below were worked out with a separate small program that replays
// the random sequence (state * 214013 + 2531011, bits 16..30) by hand, not with this code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "media/random.h"
#include "objects/fly_swarm.h"
#include "objects/sine_cosine.h"

namespace {

FlySwarm MakeSwarm(int capacity = 10) { return FlySwarm(capacity, 640, 480, 0, 0, 639, 479); }

// Puts the fly at index 0 into a chosen state, far from retargeting.
FlyState& Pose(FlySwarm& swarm, double x, double y, double heading, double speed, int targetX,
               int targetY) {
    FlyState& fly = *swarm.PeekAt(0);
    fly.x = x;
    fly.y = y;
    fly.heading = heading;
    fly.speed = speed;
    fly.targetX = targetX;
    fly.targetY = targetY;
    fly.stepCounter = 0;
    fly.retargetAfter = 11;
    return fly;
}

TEST(FlySwarm, RandomSequenceMatchesTheGamesGenerator) {
    SeedRandom(12345);
    const int expected[] = {7584, 19164, 25795, 22125, 5828, 23405};
    for (int value : expected) EXPECT_EQ(NextRandom(), value);
    EXPECT_EQ(RandomState(), 3681394607u);
}

struct SpawnCase {
    std::uint32_t seed;
    double x, y;
    int targetX, targetY;
    double heading;
    int retargetAfter;
    std::uint32_t stateAfter;  // exactly six draws consumed
};

TEST(FlySwarm, SpawnDrawsSixNumbersInOrderForEachEdge) {
    // clang-format off
    const SpawnCase cases[] = {
        {12345, 604, -32, 195, 45, 68, 9, 3681394607u},   // top
        {1, 547, 511, 574, 100, 89, 8, 1030492215u},      // bottom
        {5, -32, 373, 95, 449, 300, 10, 2059860891u},     // left
        {4, 671, 185, 279, 386, 65, 4, 1802518722u},      // right
    };
    // clang-format on
    for (const SpawnCase& c : cases) {
        SCOPED_TRACE(c.seed);
        FlySwarm swarm = MakeSwarm();
        SeedRandom(c.seed);
        ASSERT_EQ(swarm.Add(2.5), 1);
        EXPECT_EQ(RandomState(), c.stateAfter);
        const FlyState& fly = *swarm.PeekAt(0);
        EXPECT_EQ(fly.x, c.x);
        EXPECT_EQ(fly.y, c.y);
        EXPECT_EQ(fly.targetX, c.targetX);
        EXPECT_EQ(fly.targetY, c.targetY);
        EXPECT_EQ(fly.heading, c.heading);
        EXPECT_EQ(fly.retargetAfter, c.retargetAfter);
        EXPECT_EQ(fly.stepCounter, 0);
        EXPECT_EQ(fly.speed, 2.5);
        DrawPos* record = swarm.Get();
        EXPECT_EQ(record->x, static_cast<int>(c.x));
        EXPECT_EQ(record->y, static_cast<int>(c.y));
    }
}

TEST(FlySwarm, SpawnDirectionUsesTheGamesDegreeFactor) {
    FlySwarm swarm = MakeSwarm();
    SeedRandom(12345);  // heading 68
    swarm.Add(1);
    // cos/sin of 68 * 0.017453; with pi/180 the cosine would be 0.3746065934.
    EXPECT_NEAR(swarm.PeekAt(0)->dirX, 0.37462503628606353, 1e-12);
    EXPECT_NEAR(swarm.PeekAt(0)->dirY, 0.9271764029501968, 1e-12);
}

// Three flies of different speeds flown for 40 updates, compared with the replay.
TEST(FlySwarm, FortyUpdatesMatchAnIndependentReplay) {
    FlySwarm swarm = MakeSwarm();
    SeedRandom(777);
    swarm.Add(1.3);
    swarm.Add(4.0);
    swarm.Add(8.9);
    DrawPos* records = nullptr;
    for (int i = 0; i < 40; ++i) records = swarm.Update();
    struct Expect {
        int drawX, drawY;
        double x, y, heading;
        int targetX, targetY, stepCounter, retargetAfter;
    };
    // clang-format off
    const Expect expected[] = {
        {629, 60, 629.36854342293, 60.727743187247114, 135.8, 536, 72, 4, 11},
        {318, 93, 318.8974021987382, 93.10706181943789, 50.0, 218, 130, 1, 6},
        {109, 281, 109.45122041949531, 281.2161693630169, 281.4, 307, 122, 4, 5},
    };
    // clang-format on
    DrawPos* p = records;
    for (int i = 0; i < 3; ++i, p = p->next) {
        SCOPED_TRACE(i);
        ASSERT_FALSE(IsEnd(p));
        const FlyState& fly = *swarm.PeekAt(i);
        EXPECT_EQ(p->x, expected[i].drawX);
        EXPECT_EQ(p->y, expected[i].drawY);
        EXPECT_NEAR(fly.x, expected[i].x, 1e-6);
        EXPECT_NEAR(fly.y, expected[i].y, 1e-6);
        EXPECT_NEAR(fly.heading, expected[i].heading, 1e-9);
        EXPECT_EQ(fly.targetX, expected[i].targetX);
        EXPECT_EQ(fly.targetY, expected[i].targetY);
        EXPECT_EQ(fly.stepCounter, expected[i].stepCounter);
        EXPECT_EQ(fly.retargetAfter, expected[i].retargetAfter);
    }
    EXPECT_TRUE(IsEnd(p));
    EXPECT_EQ(RandomState(), 1903358240u);
}

TEST(FlySwarm, HeadingSnapsAtTheWrap) {
    FlySwarm swarm = MakeSwarm();
    SeedRandom(1);
    swarm.Add(1);
    // Target right and below: aim 45; 358.5 lies above 225, so the heading increases.
    FlyState& fly = Pose(swarm, 100, 100, 358.5, 1, 300, 300);
    swarm.Update();
    EXPECT_EQ(fly.heading, 0);
    EXPECT_NEAR(fly.x, 101, 1e-12);  // heading 0 flies along +x
    EXPECT_NEAR(fly.y, 100, 1e-12);
    // Aim 315 (right, above): 0.5 lies below the bound 135, so it decreases past zero.
    Pose(swarm, 100, 100, 0.5, 1, 300, 10);
    swarm.Update();
    EXPECT_EQ(fly.heading, 359);
    // Landing exactly on 359 snaps to 0.
    Pose(swarm, 100, 100, 357, 2, 300, 300);
    swarm.Update();
    EXPECT_EQ(fly.heading, 0);
    // Just below the limit stays.
    Pose(swarm, 100, 100, 356.5, 2, 300, 300);
    swarm.Update();
    EXPECT_EQ(fly.heading, 358.5);
}

TEST(FlySwarm, TurnFollowsTheQuadrantDiagonal) {
    struct Turn {
        int targetX, targetY;  // fly sits at (100, 100)
        double heading, after;
    };
    // clang-format off
    const Turn turns[] = {
        // aim 45 (right, below): bounds 45 and 225
        {200, 200, 44, 45}, {200, 200, 45, 44}, {200, 200, 224, 223}, {200, 200, 225, 226},
        // aim 135 (left, below): bounds 135 and 315
        {50, 200, 134, 135}, {50, 200, 135, 134}, {50, 200, 314, 313}, {50, 200, 315, 316},
        // aim 225 (left, above): bounds 45 and 225
        {50, 50, 44, 43}, {50, 50, 45, 46}, {50, 50, 224, 225}, {50, 50, 225, 224},
        // aim 315 (right, above): bounds 135 and 315
        {200, 50, 134, 133}, {200, 50, 135, 136}, {200, 50, 314, 315}, {200, 50, 315, 314},
        // equal x or y counts as not right / not below
        {100, 200, 134, 135}, {100, 200, 135, 134},  // aim 135
        {100, 50, 45, 46}, {100, 50, 44, 43},        // aim 225
        {200, 100, 135, 136}, {200, 100, 134, 133},  // aim 315
    };
    // clang-format on
    FlySwarm swarm = MakeSwarm();
    SeedRandom(3);
    swarm.Add(1);
    for (const Turn& t : turns) {
        SCOPED_TRACE(testing::Message() << t.targetX << "," << t.targetY << " h" << t.heading);
        FlyState& fly = Pose(swarm, 100, 100, t.heading, 1, t.targetX, t.targetY);
        swarm.Update();
        EXPECT_EQ(fly.heading, t.after);
    }
}

TEST(FlySwarm, HeadingOnTheAimOscillatesByOneTurn) {
    FlySwarm swarm = MakeSwarm();
    SeedRandom(3);
    swarm.Add(1);
    FlyState& fly = Pose(swarm, 0, 0, 45, 3, 600, 400);
    swarm.Update();
    EXPECT_EQ(fly.heading, 42);
    swarm.Update();
    EXPECT_EQ(fly.heading, 45);
    swarm.Update();
    EXPECT_EQ(fly.heading, 42);
}

TEST(FlySwarm, RetargetComesOnTheSixthUpdateWithThresholdFour) {
    FlySwarm swarm = MakeSwarm();
    SeedRandom(4);  // threshold 4
    swarm.Add(1);
    ASSERT_EQ(swarm.PeekAt(0)->retargetAfter, 4);
    const std::uint32_t afterSpawn = RandomState();
    for (int i = 1; i <= 5; ++i) {
        swarm.Update();
        EXPECT_EQ(RandomState(), afterSpawn) << "update " << i;
    }
    SeedRandom(1000);  // draws 3304, 8221, 26849
    swarm.Update();
    EXPECT_EQ(RandomState(), 1759629789u);
    const FlyState& fly = *swarm.PeekAt(0);
    EXPECT_EQ(fly.targetX, 104);
    EXPECT_EQ(fly.targetY, 61);
    EXPECT_EQ(fly.retargetAfter, 5);
    EXPECT_EQ(fly.stepCounter, 1);
    // The next target comes retargetAfter + 1 = 6 updates later.
    const std::uint32_t afterRetarget = RandomState();
    for (int i = 0; i < 5; ++i) swarm.Update();
    EXPECT_EQ(RandomState(), afterRetarget);
    swarm.Update();
    EXPECT_NE(RandomState(), afterRetarget);
}

TEST(FlySwarm, PositionsTruncateTowardZero) {
    FlySwarm swarm = MakeSwarm();
    SeedRandom(3);
    swarm.Add(1);
    const double xs[] = {-31.9, 639.9, -0.5, 12.99};
    const int drawn[] = {-31, 639, 0, 12};
    for (int i = 0; i < 4; ++i) {
        swarm.PeekAt(0)->x = xs[i];
        swarm.PeekAt(0)->y = -xs[i];
        DrawPos* p = swarm.Get();
        EXPECT_EQ(p->x, drawn[i]);
        EXPECT_EQ(p->y, -drawn[i]);
    }
}

TEST(FlySwarm, GetRepeatsUpdateAndDrawsNoNumbers) {
    FlySwarm swarm = MakeSwarm();
    SeedRandom(99);
    for (int i = 0; i < 5; ++i) swarm.Add(2 + i);
    for (int i = 0; i < 30; ++i) swarm.Update();
    std::vector<std::pair<int, int>> fromUpdate, fromGet, again;
    for (DrawPos* p = swarm.Update(); !IsEnd(p); p = p->next) fromUpdate.push_back({p->x, p->y});
    const std::uint32_t state = RandomState();
    const double x0 = swarm.PeekAt(0)->x;
    for (DrawPos* p = swarm.Get(); !IsEnd(p); p = p->next) fromGet.push_back({p->x, p->y});
    for (DrawPos* p = swarm.Get(); !IsEnd(p); p = p->next) again.push_back({p->x, p->y});
    EXPECT_EQ(fromUpdate.size(), 5u);
    EXPECT_EQ(fromGet, fromUpdate);
    EXPECT_EQ(again, fromUpdate);
    EXPECT_EQ(RandomState(), state);
    EXPECT_EQ(swarm.PeekAt(0)->x, x0);
}

TEST(FlySwarm, FullSwarmRefusesWithoutDrawing) {
    FlySwarm swarm = MakeSwarm(2);
    SeedRandom(5);
    EXPECT_EQ(swarm.Add(1), 1);
    EXPECT_EQ(swarm.Add(1), 1);
    const std::uint32_t state = RandomState();
    EXPECT_EQ(swarm.Add(1), 0);
    EXPECT_EQ(RandomState(), state);
    EXPECT_EQ(swarm.Count(), 2);
}

}  // namespace

// The flies' sine and cosine give the same bits on every platform (tests/windows compares
// whole traces with the Windows build): these values are what every build must compute,
// and every angle the game can ask for is within one unit in the last place of the C
// library's value.
TEST(FlySwarm, SineAndCosineAreTheGamesOwn) {
    struct Case {
        double radians, sine, cosine;
    };
    // clang-format off
    const Case cases[] = {
        {0x0p+0, 0x0p+0, 0x1p+0},
        {0x1.2fd2630ec3116p+0, 0x1.dab6dd909688ep-1, 0x1.7f9db49c72219p-2},
        {0x1.2f6001c8571c5p+1, 0x1.64f68e9ad8536p-1, -0x1.6f0b46f2abdfep-1},
        {0x1.3a525105ac116p+2, -0x1.f5e83c4bbafc3p-1, 0x1.94a310e0c4385p-3},
        {0x1.90e37011e0d31p+2, -0x1.3c402b274628ap-6, 0x1.ffe7948340f5bp-1},
        {0x1.12e0be826d695p-30, 0x1.12e0be826d695p-30, 0x1p+0},
        {0x1.388p+14, 0x1.29f9e81f1259bp-1, 0x1.a05bb5b890b51p-1},
    };
    // clang-format on
    for (const Case& c : cases) {
        double s = 0, co = 0;
        SineCosine(c.radians, &s, &co);
        EXPECT_EQ(s, c.sine) << c.radians;
        EXPECT_EQ(co, c.cosine) << c.radians;
    }
    const auto ulps = [](double a, double b) {
        std::int64_t x, y;
        std::memcpy(&x, &a, 8);
        std::memcpy(&y, &b, 8);
        return x > y ? x - y : y - x;
    };
    // Headings in tenths of a degree over the whole turn and a little beyond.
    for (int tenth = 0; tenth <= 3700; ++tenth) {
        const double r = tenth / 10.0 * 0.017453;
        double s = 0, co = 0;
        SineCosine(r, &s, &co);
        ASSERT_LE(ulps(s, std::sin(r)), 1) << r;
        ASSERT_LE(ulps(co, std::cos(r)), 1) << r;
    }
}
