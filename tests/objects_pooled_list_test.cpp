// The pooling scheme shared by every container, exercised through MarkList because its
// records carry the position given to Add, which makes each object recognisable.
#include <gtest/gtest.h>

#include <vector>

#include "objects/mark_list.h"

namespace {

constexpr int P = 1, Q = 2, R = 3, S = 4;

std::vector<int> Walk(MarkList& list) {
    std::vector<int> ids;
    for (DrawPos* p = list.Get(); !IsEnd(p); p = p->next) ids.push_back(p->x);
    return ids;
}

TEST(PooledList, CapacityOneRefusesSecondAddUntilRemoved) {
    MarkList list(1, 1, 1, 1);
    EXPECT_EQ(list.Add(P, 0), 1);
    EXPECT_EQ(list.Add(Q, 0), 0);
    EXPECT_EQ(Walk(list), std::vector<int>{P});
    EXPECT_EQ(list.Remove(0), 1);
    EXPECT_EQ(list.Add(Q, 0), 1);
    EXPECT_EQ(Walk(list), std::vector<int>{Q});
    EXPECT_TRUE(list.LinksIntact());
}

TEST(PooledList, RemovingTheMiddleKeepsOrderAndShiftsIndices) {
    MarkList list(1, 1, 1, 5);
    list.Add(P, 0);
    list.Add(Q, 0);
    list.Add(R, 0);
    EXPECT_EQ(list.Remove(1), 1);
    EXPECT_EQ(Walk(list), (std::vector<int>{P, R}));
    ASSERT_NE(list.PeekAt(1), nullptr);
    EXPECT_EQ(list.PeekAt(1)->x, R);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.FreeCount(), 3);
    EXPECT_TRUE(list.LinksIntact());
}

TEST(PooledList, WalkThatRemovesContinuesFromTheRecordTakenBefore) {
    MarkList list(1, 1, 1, 8);
    for (int id : {P, Q, R, S}) list.Add(id, 0);
    std::vector<std::pair<int, int>> visited;  // (id, index)
    int i = 0;
    for (DrawPos *p = list.Get(), *next; !IsEnd(p); p = next) {
        next = p->next;
        visited.push_back({p->x, i});
        if (p->x == Q || p->x == R)
            EXPECT_EQ(list.Remove(i), 1);
        else
            ++i;
    }
    const std::vector<std::pair<int, int>> expected = {{P, 0}, {Q, 1}, {R, 1}, {S, 1}};
    EXPECT_EQ(visited, expected);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(Walk(list), (std::vector<int>{P, S}));
    EXPECT_TRUE(list.LinksIntact());
}

TEST(PooledList, ClearThenExactlyCapacityAddsInOrder) {
    MarkList list(1, 1, 1, 6);
    for (int id = 1; id <= 4; ++id) list.Add(id, 0);
    list.Remove(2);
    EXPECT_EQ(list.Clear(), 1);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(IsEnd(list.Get()));
    std::vector<int> expected;
    for (int id = 10; id < 16; ++id) {
        EXPECT_EQ(list.Add(id, 0), 1) << id;
        expected.push_back(id);
    }
    EXPECT_EQ(list.Add(99, 0), 0);
    EXPECT_EQ(Walk(list), expected);
    EXPECT_EQ(list.FreeCount(), 0);
    EXPECT_TRUE(list.LinksIntact());
}

TEST(PooledList, EmptyOrOutOfRangeChangesNothing) {
    MarkList list(1, 1, 1, 3);
    EXPECT_EQ(list.Remove(0), 0);
    EXPECT_EQ(list.Clear(), 0);
    list.Add(P, 0);
    list.Add(Q, 0);
    EXPECT_EQ(list.Clear(), 1);
    EXPECT_EQ(list.Clear(), 0);
    list.Add(P, 0);
    list.Add(Q, 0);
    EXPECT_EQ(list.Remove(-1), 0);
    EXPECT_EQ(list.Remove(2), 0);
    EXPECT_EQ(list.Remove(1000), 0);
    EXPECT_EQ(Walk(list), (std::vector<int>{P, Q}));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.FreeCount(), 1);
    EXPECT_TRUE(list.LinksIntact());
}

TEST(PooledList, ZeroOrNegativeCapacityHoldsNothing) {
    for (int capacity : {0, -5}) {
        MarkList list(1, 1, 1, capacity);
        EXPECT_EQ(list.Capacity(), 0);
        EXPECT_EQ(list.Add(P, 0), 0);
        EXPECT_TRUE(IsEnd(list.Update()));
        EXPECT_TRUE(list.LinksIntact());
    }
}

// Records are the visible storage: which one an Add receives shows the free list's order.
TEST(PooledList, FreeListIsAQueue) {
    MarkList list(1, 1, 1, 4);
    list.Add(P, 0);
    list.Add(Q, 0);
    DrawPos* recordP = list.Get();
    list.Remove(0);  // P's record goes behind the two never-used ones
    list.Add(R, 0);
    list.Add(S, 0);
    DrawPos* p = list.Get();
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(p, recordP);
        p = p->next;
    }
    EXPECT_TRUE(IsEnd(p));
    list.Add(5, 0);
    DrawPos* last = list.Get()->next->next->next;
    EXPECT_EQ(last->x, 5);
    EXPECT_EQ(last, recordP);
}

TEST(PooledList, ClearAppendsClearedObjectsOldestFirstBehindFreeOnes) {
    MarkList list(1, 1, 1, 4);
    list.Add(P, 0);
    list.Add(Q, 0);
    list.Add(R, 0);
    std::vector<DrawPos*> old;
    for (DrawPos* p = list.Get(); !IsEnd(p); p = p->next) old.push_back(p);
    list.Clear();
    for (int id = 10; id < 14; ++id) list.Add(id, 0);
    std::vector<DrawPos*> now;
    for (DrawPos* p = list.Get(); !IsEnd(p); p = p->next) now.push_back(p);
    ASSERT_EQ(now.size(), 4u);
    // The one never-used record comes first, then P's, Q's and R's.
    EXPECT_EQ(now[1], old[0]);
    EXPECT_EQ(now[2], old[1]);
    EXPECT_EQ(now[3], old[2]);
    EXPECT_TRUE(list.LinksIntact());
}

TEST(PooledList, EmptyListGivesTheTailMarker) {
    MarkList list(1, 1, 1, 2);
    DrawPos* end = list.Update();
    EXPECT_TRUE(IsEnd(end));
    EXPECT_NE(end, nullptr);
    list.Add(P, 0);
    DrawPos* first = list.Get();
    EXPECT_FALSE(IsEnd(first));
    EXPECT_EQ(first->next, end);
    EXPECT_EQ(first->prev->prev, nullptr);  // head marker
}

}  // namespace
