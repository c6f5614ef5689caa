#include <gtest/gtest.h>

#include "media/random.h"
#include "objects/instances.h"

namespace {

template <class List, class AddOne>
int FillUp(List& list, AddOne add) {
    int added = 0;
    while (add(list) == 1 && added < 5000) ++added;
    return added;
}

int AddMark(MarkList& list) { return list.Add(1, 2); }
int AddBody(MotionList& list) { return list.Add(Body{}); }

// Number of updates until the first record reports finished, or -1 within the limit.
int UpdatesToFinish(MotionList& list, int limit) {
    list.Add(Body{});
    for (int n = 1; n <= limit; ++n)
        if (list.Update()->finished == 1) return n;
    return -1;
}

TEST(Instances, ExistEmptyAtEntryWithTheirFullCapacity) {
    EXPECT_EQ(Flies.Count(), 0);
    SeedRandom(42);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(Flies.Add(1.5), 1) << i;
    EXPECT_EQ(Flies.Add(1.5), 0);
    EXPECT_EQ(Flies.Count(), 1000);

    struct Case {
        const char* name;
        MotionList* list;
        int capacity;
    };
    const Case bodies[] = {{"FallingBodies", &FallingBodies, 100},
                           {"BouncingBodies", &BouncingBodies, 100},
                           {"DebrisA", &DebrisA, 40},
                           {"DebrisB", &DebrisB, 40},
                           {"TitleSign", &TitleSign, 100}};
    for (const Case& c : bodies) {
        EXPECT_EQ(c.list->Count(), 0) << c.name;
        EXPECT_EQ(FillUp(*c.list, AddBody), c.capacity) << c.name;
    }
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(TitleLetters[i].Count(), 0) << i;
        EXPECT_EQ(FillUp(TitleLetters[i], AddBody), 100) << i;
    }
    EXPECT_EQ(FillUp(SwatMarks, AddMark), 100);
    EXPECT_EQ(ResultBlink.Add(0, 0), 1);
    EXPECT_EQ(ResultBlink.Add(0, 0), 0);

    Flies.Clear();
    SwatMarks.Clear();
    ResultBlink.Clear();
    for (const Case& c : bodies) c.list->Clear();
    for (MotionList& letters : TitleLetters) letters.Clear();
}

TEST(Instances, AnimationSettings) {
    EXPECT_EQ(UpdatesToFinish(FallingBodies, 10), 1);
    EXPECT_EQ(UpdatesToFinish(BouncingBodies, 10), 1);
    EXPECT_EQ(UpdatesToFinish(DebrisA, 10), 2);
    EXPECT_EQ(UpdatesToFinish(DebrisB, 10), 2);
    EXPECT_EQ(UpdatesToFinish(TitleSign, 1000), -1);
    EXPECT_EQ(TitleSign.Get()->frame, 0);
    for (MotionList& letters : TitleLetters) {
        EXPECT_EQ(UpdatesToFinish(letters, 2500), -1);
        EXPECT_EQ(letters.Get()->frame, 0);
    }
    SwatMarks.Add(0, 0);
    ResultBlink.Add(0, 0);
    for (int n = 1; n <= 450; ++n) {
        DrawPos* mark = SwatMarks.Update();
        DrawPos* blink = ResultBlink.Update();
        ASSERT_EQ(mark->finished, n == 450 ? 1 : 0) << n;
        ASSERT_EQ(blink->frame, (n / 30) % 2) << n;
    }
    for (MotionList* list : {&FallingBodies, &BouncingBodies, &DebrisA, &DebrisB, &TitleSign})
        list->Clear();
    for (MotionList& letters : TitleLetters) letters.Clear();
    SwatMarks.Clear();
    ResultBlink.Clear();
}

// Leaving the play scene empties every play list in this order; a new round can then
// fill each of them again.
TEST(Instances, RefillAfterThePlaySceneIsLeft) {
    SeedRandom(7);
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(FillUp(Flies, [](FlySwarm& f) { return f.Add(2); }), 1000);
        EXPECT_EQ(FillUp(SwatMarks, AddMark), 100);
        EXPECT_EQ(FillUp(ResultBlink, AddMark), 1);
        EXPECT_EQ(FillUp(FallingBodies, AddBody), 100);
        EXPECT_EQ(FillUp(BouncingBodies, AddBody), 100);
        EXPECT_EQ(FillUp(DebrisA, AddBody), 40);
        EXPECT_EQ(FillUp(DebrisB, AddBody), 40);
        Flies.Update();
        Flies.Remove(500);
        EXPECT_EQ(ResultBlink.Remove(0), 1);
        EXPECT_EQ(Flies.Clear(), 1);
        EXPECT_EQ(SwatMarks.Clear(), 1);
        EXPECT_EQ(ResultBlink.Clear(), 0);
        EXPECT_EQ(FallingBodies.Clear(), 1);
        EXPECT_EQ(BouncingBodies.Clear(), 1);
        EXPECT_EQ(DebrisA.Clear(), 1);
        EXPECT_EQ(DebrisB.Clear(), 1);
        EXPECT_TRUE(Flies.LinksIntact());
        EXPECT_EQ(Flies.FreeCount(), 1000);
    }
}

}  // namespace
