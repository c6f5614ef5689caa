// The headless backend turns script lines into the window messages a player's mouse and
// keyboard would send, at the cursor, after the flip they name; --time is the calendar.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/services/options.h"
#include "platform/stand_in/backend.h"
#include "platform/stand_in/runtime.h"
#include "tests/support/game_fixture.h"

namespace {

struct Posted {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Posted&) const = default;
};

std::vector<Posted> Drain() {
    std::vector<Posted> out;
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) break;
        out.push_back({msg.message, msg.wParam, msg.lParam});
    }
    return out;
}

TEST(HeadlessBackend, ScriptEventsBecomeMessagesAtTheCursor) {
    const std::string dir = MakeTempDir();
    WriteFileBytes(dir + "/script.txt",
                   "1 click\n2 down\n3 up\n4 key escape\n5 move 600 400\n6 close\n");
    g_Options = Options();
    g_Options.headless = true;
    g_Options.script = dir + "/script.txt";
    g_Options.time = 1234567;
    ASSERT_TRUE(PlatformInit());
    Drain();
    EXPECT_EQ(CalendarTime(), 1234567);

    const LPARAM at = MakeCursorLParam(123, 45);
    const struct {
        long long frame;
        std::vector<Posted> posted;
        // clang-format off
    } frames[] = {
        {1, {{WM_LBUTTONDOWN, 1, at}, {WM_LBUTTONUP, 0, at}}},
        {2, {{WM_LBUTTONDOWN, 1, at}}},
        {3, {{WM_LBUTTONUP, 0, at}}},
        {4, {{WM_KEYDOWN, VK_ESCAPE, 1}}},
        {5, {{WM_MOUSEMOVE, 0, MakeCursorLParam(600, 400)}}},
        {6, {{WM_CLOSE, 0, 0}}},
        {7, {}},
    };
    // clang-format on
    for (const auto& f : frames) {
        SCOPED_TRACE("frame " + std::to_string(f.frame));
        SetGameCursor(123, 45);
        ActiveBackend().afterFlip(f.frame);
        EXPECT_EQ(Drain(), f.posted);
    }
    PlatformShutdown();
}

}  // namespace
