// The hooks that watch every flip: each added one runs, in order, and one past the room
// stops the program with a line instead of going unheard. Hooks cannot be removed, so
// this program holds the one test that fills the table.
#include <gtest/gtest.h>

#include <array>
#include <utility>

#include "platform/stand_in/runtime.h"

namespace {

// Which hook ran at which position of the last flip, and with which frame number.
std::array<int, kMaxFlipHooks> g_order{};
std::array<long long, kMaxFlipHooks> g_frame{};
int g_calls = 0;

template <int I>
void Hook(long long frame) {
    if (g_calls < kMaxFlipHooks) g_order[g_calls] = I;
    g_frame[I] = frame;
    ++g_calls;
}

void OneTooMany(long long) {}

template <int... I>
void AddAll(std::integer_sequence<int, I...>) {
    (AddFlipHook(Hook<I>), ...);
}

}  // namespace

TEST(FlipHooks, EveryHookUpToTheLimitRunsInOrderAndOneMoreStopsTheProgram) {
    AddAll(std::make_integer_sequence<int, kMaxFlipHooks>());
    const long long before = FlipCount();
    CompleteFlip(false);
    ASSERT_EQ(g_calls, kMaxFlipHooks);
    for (int i = 0; i < kMaxFlipHooks; ++i) {
        EXPECT_EQ(g_order[i], i);
        EXPECT_EQ(g_frame[i], before + 1);
    }
    EXPECT_DEATH(AddFlipHook(OneTooMany), "^zumble: more than 16 flip hooks\n");
}
