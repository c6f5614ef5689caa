// Play must never touch the heap: every container is checked with counting versions of
// the global allocation functions around a long mix of operations.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "media/random.h"
#include "objects/fly_swarm.h"
#include "objects/instances.h"
#include "objects/mark_list.h"
#include "objects/motion_list.h"

namespace {
long allocations = 0;
long releases = 0;

void* Allocate(std::size_t size) {
    ++allocations;
    return std::malloc(size == 0 ? 1 : size);
}

void Release(void* p) {
    if (p != nullptr) ++releases;
    std::free(p);
}
}  // namespace

void* operator new(std::size_t size) {
    void* p = Allocate(size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t size) {
    void* p = Allocate(size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }

namespace {

// Walks a list, removing every record for which remove() holds, as the scenes do.
template <class List, class Pred>
void Sweep(List& list, DrawPos* first, Pred remove) {
    int i = 0;
    for (DrawPos *p = first, *next; !IsEnd(p); p = next) {
        next = p->next;
        if (remove(*p))
            list.Remove(i);
        else
            ++i;
    }
}

TEST(Allocation, ContainersNeverAllocateAfterConstruction) {
    FlySwarm swarm(300, 640, 480, 0, 0, 639, 479);
    MotionList bodies(1, 2, 0, 64);
    MarkList marks(3, 5, 0, 32);
    SeedRandom(2024);
    const long allocatedBefore = allocations;
    const long releasedBefore = releases;
    long checksum = 0;
    for (int frame = 0; frame < 20000; ++frame) {
        const int roll = NextRandom();
        for (int k = 0; k < roll % 4; ++k) {
            swarm.Add(1 + roll % 8);
            bodies.Add(Body{double(roll % 640), 100, 1, -3, 0, 0.5, 0});
            marks.Add(roll % 640, roll % 480);
        }
        DrawPos* flies = swarm.Update();
        Sweep(swarm, flies, [&](const DrawPos& p) { return (p.x + p.y + frame) % 23 == 0; });
        Sweep(bodies, bodies.Update(), [](const DrawPos& p) { return p.finished == 1; });
        Sweep(marks, marks.Update(), [](const DrawPos& p) { return p.finished == 1; });
        for (DrawPos* p = swarm.Get(); !IsEnd(p); p = p->next) checksum += p->x;
        bodies.Get();
        marks.Get();
        swarm.Remove(swarm.Count());  // out of range: refused
        if (roll % 997 == 0) {
            swarm.Clear();
            bodies.Clear();
            marks.Clear();
        }
        // The global instances take the same treatment, as a round would give them.
        Flies.Add(2);
        SwatMarks.Add(1, 1);
        ResultBlink.Add(0, 0);
        DebrisA.Add(Body{});
        Sweep(Flies, Flies.Update(), [](const DrawPos& p) { return p.x % 5 == 0; });
        Sweep(SwatMarks, SwatMarks.Update(), [](const DrawPos& p) { return p.finished == 1; });
        Sweep(DebrisA, DebrisA.Update(), [](const DrawPos& p) { return p.finished == 1; });
        ResultBlink.Update();
        if (frame % 500 == 499) {
            ResultBlink.Remove(0);
            Flies.Clear();
            SwatMarks.Clear();
            DebrisA.Clear();
        }
    }
    const long allocated = allocations - allocatedBefore;
    const long released = releases - releasedBefore;
    EXPECT_EQ(allocated, 0);
    EXPECT_EQ(released, 0);
    EXPECT_TRUE(swarm.LinksIntact());
    EXPECT_TRUE(bodies.LinksIntact());
    EXPECT_TRUE(marks.LinksIntact());
    EXPECT_TRUE(Flies.LinksIntact());
    EXPECT_GT(checksum, 0);  // the swarm held flies along the way
}

// The counters themselves must see the containers' own storage.
TEST(Allocation, ConstructionAllocatesAndDestructionReleases) {
    const long allocatedBefore = allocations;
    const long releasedBefore = releases;
    {
        MarkList marks(1, 1, 1, 10);
        EXPECT_GT(allocations, allocatedBefore);
    }
    EXPECT_EQ(releases - releasedBefore, allocations - allocatedBefore);
}

}  // namespace
