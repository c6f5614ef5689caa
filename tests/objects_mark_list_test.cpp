#include <gtest/gtest.h>

#include "objects/mark_list.h"

namespace {

TEST(MarkList, ThreeFramesOf150ThenFinishedForGood) {
    MarkList list(3, 150, 0, 2);
    list.Add(30, 40);
    for (int n = 1; n <= 600; ++n) {
        DrawPos* p = list.Update();
        const int frame = n < 450 ? n / 150 : 3;
        ASSERT_EQ(p->frame, frame) << "update " << n;
        ASSERT_EQ(p->finished, n >= 450 ? 1 : 0) << "update " << n;
        ASSERT_EQ(p->x, 30);
        ASSERT_EQ(p->y, 40);
    }
}

TEST(MarkList, TwoFramesOf30LoopForever) {
    MarkList list(2, 30, 1, 1);
    list.Add(0, 0);
    for (int n = 1; n <= 300; ++n) {
        DrawPos* p = list.Update();
        ASSERT_EQ(p->frame, (n / 30) % 2) << "update " << n;
        ASSERT_EQ(p->finished, 0) << "update " << n;
    }
}

TEST(MarkList, AddWritesTheRecordAtOnce) {
    MarkList list(2, 1, 0, 1);
    list.Add(5, 6);
    list.Update();
    list.Update();
    EXPECT_EQ(list.Get()->finished, 1);
    list.Remove(0);
    list.Add(-7, 8);  // reuses the finished mark's record
    DrawPos* p = list.Get();
    EXPECT_EQ(p->x, -7);
    EXPECT_EQ(p->y, 8);
    EXPECT_EQ(p->frame, 0);
    EXPECT_EQ(p->finished, 0);
}

TEST(MarkList, GetDoesNotAdvance) {
    MarkList list(2, 2, 0, 1);
    list.Add(0, 0);
    list.Update();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(list.Get()->frame, 0);
    EXPECT_EQ(list.Update()->frame, 1);
    EXPECT_EQ(list.Get()->frame, 1);
}

TEST(MarkList, MarksAddedLaterRunTheirOwnCount) {
    MarkList list(2, 3, 0, 4);
    list.Add(1, 0);
    list.Update();
    list.Update();
    list.Add(2, 0);
    DrawPos* p = list.Update();
    EXPECT_EQ(p->frame, 1);
    EXPECT_EQ(p->next->frame, 0);
}

}  // namespace
