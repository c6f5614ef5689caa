#include <gtest/gtest.h>

#include "objects/motion_list.h"

namespace {

Body At(double x, double y, double vx = 0, double vy = 0, double ax = 0, double ay = 0,
        int held = 0) {
    return Body{x, y, vx, vy, ax, ay, held};
}

TEST(MotionList, PoppedBodyRisesToFortyAndFallsBack) {
    MotionList list(0, 0, 0, 4);
    ASSERT_EQ(list.Add(At(50, 100, 0, -8, 0, 0.5)), 1);
    DrawPos* p = list.Update();
    const Body& body = list.PeekAt(0)->body;
    EXPECT_EQ(body.y, 92.5);
    EXPECT_EQ(body.vy, -7.5);
    EXPECT_EQ(p->y, 92);
    EXPECT_EQ(p->x, 50);
    double highest = body.y;
    for (int n = 2; n <= 31; ++n) {
        p = list.Update();
        if (n == 15 || n == 16) {
            EXPECT_EQ(body.y, 40) << n;
        }
        if (body.y < highest) highest = body.y;
    }
    EXPECT_EQ(highest, 40);
    EXPECT_EQ(body.y, 100);
    EXPECT_EQ(p->y, 100);
    EXPECT_EQ(body.vy, 7.5);
}

TEST(MotionList, ZeroFramesFinishOnTheFirstUpdateAndKeepMoving) {
    MotionList list(0, 0, 0, 4);
    list.Add(At(0, 0, 1, 0));
    DrawPos* p = list.Update();
    EXPECT_EQ(p->frame, 1);
    EXPECT_EQ(p->finished, 1);
    EXPECT_EQ(p->x, 1);
    for (int i = 0; i < 5; ++i) p = list.Update();
    EXPECT_EQ(p->frame, 1);
    EXPECT_EQ(p->finished, 1);
    EXPECT_EQ(p->x, 6);
}

TEST(MotionList, OneFrameOfTwoTicksFinishesOnTheSecondUpdate) {
    MotionList list(1, 2, 0, 4);
    list.Add(At(0, 0));
    DrawPos* p = list.Update();
    EXPECT_EQ(p->frame, 0);
    EXPECT_EQ(p->finished, 0);
    p = list.Update();
    EXPECT_EQ(p->frame, 1);
    EXPECT_EQ(p->finished, 1);
    p = list.Update();
    EXPECT_EQ(p->frame, 1);
    EXPECT_EQ(p->finished, 1);
}

TEST(MotionList, LoopingAnimationCyclesAndNeverFinishes) {
    MotionList one(1, 1, 1, 2);
    one.Add(At(0, 0));
    for (int i = 0; i < 10; ++i) {
        DrawPos* p = one.Update();
        EXPECT_EQ(p->frame, 0);
        EXPECT_EQ(p->finished, 0);
    }
    MotionList three(3, 2, 1, 2);
    three.Add(At(0, 0));
    const int frames[] = {0, 1, 1, 2, 2, 0, 0, 1};
    for (int expected : frames) {
        DrawPos* p = three.Update();
        EXPECT_EQ(p->frame, expected);
        EXPECT_EQ(p->finished, 0);
    }
}

TEST(MotionList, NonLoopingValueOtherThanOneFinishes) {
    MotionList list(2, 1, 2, 2);  // only 1 means loop
    list.Add(At(0, 0));
    list.Update();
    DrawPos* p = list.Update();
    EXPECT_EQ(p->frame, 2);
    EXPECT_EQ(p->finished, 1);
}

TEST(MotionList, HeldBodyStaysWhileItsAnimationRuns) {
    MotionList list(3, 1, 0, 2);
    list.Add(At(10.5, 20.5, 3, 4, 1, 1, 1));
    DrawPos* p = nullptr;
    for (int i = 0; i < 3; ++i) p = list.Update();
    const Body& body = list.PeekAt(0)->body;
    EXPECT_EQ(body.x, 10.5);
    EXPECT_EQ(body.y, 20.5);
    EXPECT_EQ(body.vx, 3);
    EXPECT_EQ(body.vy, 4);
    EXPECT_EQ(p->x, 10);
    EXPECT_EQ(p->y, 20);
    EXPECT_EQ(p->frame, 3);
    EXPECT_EQ(p->finished, 1);
}

TEST(MotionList, DrawnPositionTruncatesTowardZero) {
    MotionList list(1, 1, 1, 4);
    list.Add(At(-9.5, -0.7));
    list.Add(At(9.99, 463.999));
    DrawPos* p = list.Get();
    EXPECT_EQ(p->x, -9);
    EXPECT_EQ(p->y, 0);
    EXPECT_EQ(p->next->x, 9);
    EXPECT_EQ(p->next->y, 463);
}

TEST(MotionList, GetDoesNotAdvanceAndAReusedRecordStartsClean) {
    MotionList list(0, 0, 0, 1);
    list.Add(At(0, 0, 5, 0));
    list.Update();
    DrawPos* p = list.Get();
    p = list.Get();
    EXPECT_EQ(p->x, 5);
    EXPECT_EQ(p->finished, 1);
    list.Remove(0);
    list.Add(At(7, 8, 1, 1));
    p = list.Get();
    EXPECT_EQ(p->x, 7);
    EXPECT_EQ(p->y, 8);
    EXPECT_EQ(p->frame, 0);
    EXPECT_EQ(p->finished, 0);
}

TEST(MotionList, EachBodyMovesOnItsOwn) {
    MotionList list(5, 5, 0, 3);
    list.Add(At(0, 0, 1, 0));
    list.Update();
    list.Add(At(100, 0, 0, 2));
    DrawPos* p = list.Update();
    EXPECT_EQ(p->x, 2);
    EXPECT_EQ(p->next->x, 100);
    EXPECT_EQ(p->next->y, 2);
    EXPECT_TRUE(IsEnd(p->next->next));
}

}  // namespace
