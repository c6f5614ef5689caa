// Steady play never touches the heap: whole frames of the heaviest round, with swats,
// sound and the results board, counted by a replaced global operator new.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "media/sound.h"
#include "objects/instances.h"
#include "scenes/play.h"
#include "shell/globals.h"
#include "shell/winmain.h"
#include "tests/support/game_fixture.h"

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
// Every new above is malloc, so free is its match; GCC, seeing only the library's new
// where it inlines a delete (the sanitizer build), warns all the same.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

// One pass of the main loop: the window messages, then one scene step.
void Pass() {
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
    RunSceneStep();
}

void SwatOldestFly() {
    const DrawPos* fly = Flies.Get();
    if (IsEnd(fly)) return;
    MoveCursor(fly->x, fly->y);
    WndProc(hWnd, WM_LBUTTONDOWN, 1, 0);
    WndProc(hWnd, WM_LBUTTONUP, 0, 0);
}

TEST(FrameAllocations, SteadyPlayFramesAllocateNothing) {
    StartHeadlessGame();
    // The game's own sounds, so the buzz, swings, hits and the mixer are part of the frame.
    ASSERT_EQ(InitSound(), 1);
    FlyCountSetting = 3;
    SpeedSetting = 3;
    SceneState = STATE_PLAY_ENTER;
    Pass();
    SpawnDivisor = 1;
    for (int i = 0; i < 200; ++i) Pass();  // warm up: flies in, every kind of object seen
    ASSERT_GT(Flies.Count(), 100);

    const long before = g_allocations.load();
    for (int frame = 0; frame < 1200; ++frame) {
        if (frame % 4 == 0) SwatOldestFly();
        if (frame == 600) WndProc(hWnd, WM_KEYDOWN, VK_SPACE, 1);
        Pass();
    }
    EXPECT_EQ(g_allocations.load() - before, 0);
    EXPECT_GT(FliesSwatted, 250);
    EXPECT_GT(SwatMarks.Count(), 0);

    // The results board: clear the round by hand and run its frames.
    FliesSwatted = TargetFlies;
    const long beforeBoard = g_allocations.load();
    for (int frame = 0; frame < 120; ++frame) Pass();
    EXPECT_EQ(RoundPhase, AwaitingClick);
    EXPECT_EQ(g_allocations.load() - beforeBoard, 0);
}

}  // namespace
