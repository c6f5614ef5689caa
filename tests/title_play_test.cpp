// The title's behaviour: menu and sign clicks, the sign's pulse, letter hops and
// knocks, the idle fly and its swat, and what leaving the title leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "media/display.h"
#include "media/random.h"
#include "media/sound.h"
#include "objects/instances.h"
#include "platform/stand_in/runtime.h"
#include "scenes/title.h"
#include "shell/globals.h"
#include "tests/support/game_fixture.h"
#include "tests/support/scene_test_helpers.h"
#include "tests/support/title_sheet.h"

namespace {

void EmptyTitleLists() {
    Flies.Clear();
    TitleSign.Clear();
    for (MotionList& letter : TitleLetters) letter.Clear();
}

LPDIRECTSOUNDBUFFER* const kSlots[] = {&SND_CRY, &SND_HIT_1,    &SND_HIT_2,   &SND_HIT_3,
                                       &SND_OK,  &SND_TCLICK_1, &SND_TCLICK_2};

class Title : public ::testing::Test {
protected:
    void SetUp() override {
        StartHeadlessGame();
        EmptyTitleLists();
        SetTickNow(1000);
        EnterTitle();
        title_sheet::Build();
        MouseDown = 0;
        SceneState = STATE_TITLE_FRAME;
        NextState = 0;
        MoveCursor(20, 20);
    }
    void TearDown() override {
        EmptyTitleLists();
        for (LPDIRECTSOUNDBUFFER* slot : kSlots) {
            if (*slot != nullptr) (*slot)->Release();
            *slot = nullptr;
        }
    }
    // Gives every title sound a buffer that reports whether it was played.
    void AttachSounds() {
        for (LPDIRECTSOUNDBUFFER* slot : kSlots) {
            *slot = MakeProbeSound();
            ASSERT_NE(*slot, nullptr);
        }
    }
    void SilenceAll() {
        for (LPDIRECTSOUNDBUFFER* slot : kSlots) (*slot)->Stop();
    }
};

void ClickAt(int x, int y) {
    MoveCursor(x, y);
    TitleClick();
}

const BodyState& LetterBody(int letter) {
    const BodyState* state = TitleLetters[letter - 1].PeekAt(0);
    EXPECT_NE(state, nullptr);
    static BodyState none;
    return state != nullptr ? *state : none;
}

// Resting letters have no acceleration; a knocked one falls with 0.08.
bool InFlight(int letter) { return LetterBody(letter).body.ay != 0.0; }

// Puts one fly at a known place, drawn at the truncated position.
void PlaceFly(double x, double y) {
    Flies.Add(5.0);
    FlyState* fly = Flies.PeekAt(Flies.Count() - 1);
    ASSERT_NE(fly, nullptr);
    fly->x = x;
    fly->y = y;
    Flies.Get();
}

}  // namespace

TEST_F(Title, MenuEntriesLeaveTheScene) {
    AttachSounds();
    struct Case {
        int x, y, next;
    };
    // clang-format off
    const Case cases[] = {
        {259, 291, STATE_MODE_ENTER}, {377, 314, STATE_MODE_ENTER}, {258, 291, 0},
        {259, 290, 0},                {378, 300, 0},                {300, 315, 0},
        {277, 341, STATE_QUIT},       {359, 370, STATE_QUIT},       {276, 341, 0},
        {277, 340, 0},                {360, 370, 0},                {359, 371, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        SceneState = STATE_TITLE_FRAME;
        NextState = 0;
        SilenceAll();
        ClickAt(c.x, c.y);
        EXPECT_EQ(SceneState, c.next != 0 ? STATE_TITLE_LEAVE : STATE_TITLE_FRAME);
        EXPECT_EQ(NextState, c.next);
        EXPECT_EQ(IsSounding(SND_OK), c.next != 0);
    }
}

TEST_F(Title, SignStartsToPulseOnlyOnce) {
    AttachSounds();
    ClickAt(149, 101);
    ClickAt(150, 100);
    ClickAt(488, 150);
    ClickAt(300, 223);
    EXPECT_EQ(SignPhase, 0);
    EXPECT_EQ(TitleSign.Count(), 0);
    EXPECT_FALSE(IsSounding(SND_TCLICK_1));

    ClickAt(150, 101);
    EXPECT_EQ(SignPhase, 1);
    EXPECT_EQ(TitleSign.Count(), 1);
    EXPECT_TRUE(IsSounding(SND_TCLICK_1));
    const BodyState* body = TitleSign.PeekAt(0);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->body.x, 0.0);
    EXPECT_EQ(body->body.ax, 0.02);
    EXPECT_EQ(body->body.ay, 0.02);

    SND_TCLICK_1->Stop();
    ClickAt(300, 150);
    EXPECT_EQ(SignPhase, 1);
    EXPECT_EQ(TitleSign.Count(), 1);
    EXPECT_FALSE(IsSounding(SND_TCLICK_1));
}

TEST_F(Title, SignInflationSequence) {
    ClickAt(150, 101);
    std::vector<int> seen;
    std::vector<int> switches;
    int phase = SignPhase;
    for (int update = 1; update <= 1000; ++update) {
        UpdateTitleSign();
        DrawPos* p = TitleSign.Get();
        ASSERT_FALSE(IsEnd(p));
        ASSERT_EQ(p->x, p->y);
        seen.push_back(p->x);
        if (SignPhase != phase) {
            switches.push_back(update);
            phase = SignPhase;
        }
    }
    for (int i = 0; i < 9; ++i) EXPECT_EQ(seen[i], 0) << "update " << i + 1;
    EXPECT_EQ(seen[9], 1);
    EXPECT_EQ(seen[30], 9);  // 9.92 on update 31, still phase 1
    // Update 32 reaches 10.56; the sign turns back and restarts at 9.
    EXPECT_EQ(seen[31], 9);
    ASSERT_GE(switches.size(), 5u);
    EXPECT_EQ(switches[0], 32);
    for (size_t i = 1; i < switches.size(); ++i) {
        EXPECT_EQ(switches[i] - switches[i - 1], 75) << "switch " << i;
    }
    int low = 0, high = 0;
    for (int s : seen) {
        low = std::min(low, s);
        high = std::max(high, s);
    }
    EXPECT_EQ(low, -15);
    EXPECT_EQ(high, 15);
}

TEST_F(Title, LetterHopLandsOnUpdate50AndItsRegionMoves) {
    AttachSounds();
    SeedRandom(12345);
    int r = NextRandom();
    SeedRandom(12345);
    ClickAt(463, 447);  // letter 1 only
    EXPECT_TRUE(IsSounding(SND_TCLICK_2));
    for (int letter = 2; letter <= 12; ++letter) EXPECT_FALSE(InFlight(letter)) << letter;
    ASSERT_TRUE(InFlight(1));
    double side = (r % 2 != 0) ? 0.5 : -0.5;
    EXPECT_EQ(LetterBody(1).body.vx, side);

    std::vector<int> ys;
    for (int update = 1; update <= 50; ++update) {
        SetTickAfterNextFlip(2000);  // keeps the idle fly away
        TitleFrame();
        DrawPos* p = TitleLetters[0].Get();
        ys.push_back(p->y);
        if (update < 50) {
            ASSERT_TRUE(InFlight(1)) << "update " << update;
        }
    }
    EXPECT_EQ(ys[23], -23);
    EXPECT_EQ(ys[24], -23);
    EXPECT_EQ(ys[48], 0);
    EXPECT_FALSE(InFlight(1));
    int landed = side > 0 ? 25 : -25;
    EXPECT_EQ(LetterBody(1).body.x, landed);
    EXPECT_EQ(LetterBody(1).body.y, 0.0);
    EXPECT_EQ(LetterBody(1).body.ay, 0.0);

    // The old place no longer knocks it; the new one does, from where it stands.
    ClickAt(463, 447);
    EXPECT_FALSE(InFlight(1));
    ClickAt(463 + landed, 447);
    EXPECT_TRUE(InFlight(1));
    EXPECT_EQ(LetterBody(1).body.x, landed);
}

TEST_F(Title, KnocksAtTheGroupsOverlapAndGap) {
    AttachSounds();
    SeedRandom(777);
    int r2 = NextRandom();
    int r3 = NextRandom();
    SeedRandom(777);
    ClickAt(482, 450);
    for (int letter = 1; letter <= 12; ++letter) {
        EXPECT_EQ(InFlight(letter), letter == 2 || letter == 3) << letter;
    }
    EXPECT_EQ(LetterBody(2).body.vx, (r2 % 2 != 0) ? 0.5 : -0.5);
    EXPECT_EQ(LetterBody(3).body.vx, (r3 % 2 != 0) ? 0.5 : -0.5);
    EXPECT_EQ(LetterBody(3).body.vy, -2.0);
    EXPECT_EQ(LetterBody(3).body.ay, 0.08);

    for (int letter : {2, 3}) {
        TitleLetters[letter - 1].Clear();
        TitleLetters[letter - 1].Add(Body{});
    }
    SND_TCLICK_2->Stop();
    std::uint32_t before = RandomState();
    ClickAt(522, 450);  // between the groups
    ClickAt(470, 438);  // above letter 2's region
    ClickAt(470, 458);  // below it
    for (int letter = 1; letter <= 12; ++letter) EXPECT_FALSE(InFlight(letter)) << letter;
    EXPECT_EQ(RandomState(), before);
    EXPECT_FALSE(IsSounding(SND_TCLICK_2));

    // Both ends of a region in x are outside it: 454 and 472 miss letter 1 (472 is
    // letter 2's alone), 455 and 471 hit it.
    struct Edge {
        int x;
        bool first, second;
    };
    const Edge edges[] = {
        {454, false, false}, {455, true, false}, {471, true, true}, {472, false, true}};
    for (const Edge& e : edges) {
        SCOPED_TRACE(e.x);
        for (int letter : {1, 2}) {
            TitleLetters[letter - 1].Clear();
            TitleLetters[letter - 1].Add(Body{});
        }
        ClickAt(e.x, 450);
        EXPECT_EQ(InFlight(1), e.first);
        EXPECT_EQ(InFlight(2), e.second);
    }
}

TEST_F(Title, IdleFlyComesAfterTenSecondsAndBuzzes) {
    AttachSounds();
    EmptyTitleLists();
    SetTickNow(50000);
    EnterTitle();
    EXPECT_EQ(IdleStartTick, 50000u);

    SetTickAfterNextFlip(59999);
    TitleFrame();
    EXPECT_EQ(Flies.Count(), 0);
    EXPECT_EQ(TitleTick, 59999u);
    EXPECT_FALSE(IsSounding(SND_CRY));

    SeedRandom(4242);
    double speed = (NextRandom() % 50) / 10 + 5;
    SeedRandom(4242);
    SetTickAfterNextFlip(60000);
    TitleFrame();
    ASSERT_EQ(Flies.Count(), 1);
    EXPECT_EQ(Flies.PeekAt(0)->speed, speed);
    EXPECT_FALSE(IsSounding(SND_CRY));  // it first moves, and buzzes, next frame

    SetTickAfterNextFlip(60016);
    TitleFrame();
    EXPECT_EQ(Flies.Count(), 1);
    EXPECT_TRUE(IsSounding(SND_CRY));

    // Swatting it restarts the wait from the swat, and the buzz stops.
    PlaceFly(300.5, 200.5);
    Flies.Remove(0);  // keep only the placed one
    ASSERT_EQ(Flies.Count(), 1);
    SetTickNow(61000);
    ClickAt(300 + 26, 200 + 26);  // hot spot at the far corner of the hit box
    EXPECT_EQ(Flies.Count(), 0);
    EXPECT_EQ(IdleStartTick, 61000u);
    EXPECT_TRUE(IsSounding(SND_HIT_1));

    SetTickAfterNextFlip(70999);
    TitleFrame();
    EXPECT_EQ(Flies.Count(), 0);
    EXPECT_FALSE(IsSounding(SND_CRY));
    SetTickAfterNextFlip(71000);
    TitleFrame();
    EXPECT_EQ(Flies.Count(), 1);
}

TEST_F(Title, IdleWaitSurvivesTheTickCountWrapping) {
    EmptyTitleLists();
    SetTickNow(0xFFFFF000u);
    EnterTitle();
    SetTickAfterNextFlip(0xFFFFF000u + 9999u);
    TitleFrame();
    EXPECT_EQ(Flies.Count(), 0);
    SetTickAfterNextFlip(0xFFFFF000u + 10000u);
    TitleFrame();
    EXPECT_EQ(Flies.Count(), 1);
}

TEST_F(Title, SwatHitBoxAndHitSoundCopies) {
    AttachSounds();
    // Three flies under the swatter and one beside it: the walk goes on after each
    // removal, and each hit takes the next free copy of the sound.
    PlaceFly(100, 100);
    PlaceFly(400, 300);
    PlaceFly(110, 110);
    PlaceFly(120, 90);
    ClickAt(100, 100);  // hot spot (108, 108)
    ASSERT_EQ(Flies.Count(), 1);
    EXPECT_EQ(Flies.PeekAt(0)->x, 400);
    EXPECT_TRUE(IsSounding(SND_HIT_1));
    EXPECT_TRUE(IsSounding(SND_HIT_2));
    EXPECT_TRUE(IsSounding(SND_HIT_3));

    // Hit box edges: x - 16 <= hx <= x + 34, both ends inclusive.
    Flies.Clear();
    struct Case {
        int cx, cy;
        bool hit;
    };
    // clang-format off
    const Case cases[] = {
        {400 - 24, 300, true},  {400 - 25, 300, false}, {400 + 26, 300, true},
        {400 + 27, 300, false}, {400, 300 - 24, true},  {400, 300 - 25, false},
        {400, 300 + 26, true},  {400, 300 + 27, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.cx << "," << c.cy);
        Flies.Clear();
        PlaceFly(400.7, 300.7);
        ClickAt(c.cx, c.cy);
        EXPECT_EQ(Flies.Count(), c.hit ? 0 : 1);
    }

    // With the first copy free again it is the one that plays.
    SilenceAll();
    Flies.Clear();
    PlaceFly(400, 300);
    ClickAt(400, 300);
    EXPECT_TRUE(IsSounding(SND_HIT_1));
    EXPECT_FALSE(IsSounding(SND_HIT_2));
}

TEST_F(Title, StartEntryOverTheFlyDoesBoth) {
    PlaceFly(300, 300);
    SetTickNow(5555);
    ClickAt(300, 300);
    EXPECT_EQ(SceneState, STATE_TITLE_LEAVE);
    EXPECT_EQ(NextState, STATE_MODE_ENTER);
    EXPECT_EQ(Flies.Count(), 0);
    EXPECT_EQ(IdleStartTick, 5555u);
}

TEST_F(Title, WorksWithoutAnySound) {
    PlaceFly(300, 300);
    ClickAt(150, 101);
    ClickAt(463, 447);
    ClickAt(300, 300);
    EXPECT_EQ(SignPhase, 1);
    EXPECT_TRUE(InFlight(1));
    EXPECT_EQ(Flies.Count(), 0);
    EXPECT_EQ(SceneState, STATE_TITLE_LEAVE);
    SetTickAfterNextFlip(20000);
    TitleFrame();  // the fly comes with no buzz to stop
    EXPECT_EQ(Flies.Count(), 1);
}

TEST_F(Title, LeaveEmptiesEverythingAndShowsIndex0) {
    ClickAt(150, 101);
    PlaceFly(300, 300);
    FillBack(9);
    long long flips = FlipCount();
    LeaveTitle();
    EXPECT_EQ(FlipCount(), flips + 1);
    EXPECT_EQ(Flies.Count(), 0);
    EXPECT_EQ(TitleSign.Count(), 0);
    for (MotionList& letter : TitleLetters) EXPECT_EQ(letter.Count(), 0);
    const IDirectDrawSurface* front = PrimarySurface();
    ASSERT_NE(front, nullptr);
    int other = 0;
    for (BYTE pixel : front->pixels) other += pixel != 0;
    EXPECT_EQ(other, 0);

    // A new entry starts still, with twelve letters at home.
    EnterTitle();
    EXPECT_EQ(SignPhase, 0);
    EXPECT_EQ(TitleSign.Count(), 0);
    for (MotionList& letter : TitleLetters) EXPECT_EQ(letter.Count(), 1);
}
