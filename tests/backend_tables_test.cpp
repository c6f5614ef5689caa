// A backend's table is filled by name, so a member added to struct Backend and forgotten
// in one backend compiles and stays null, and the core calls it without looking. Every
// member is a pointer: each slot of each table the desktop links must be set.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ctime>

#include "platform/sdl/sdl_backend.h"
#include "platform/stand_in/backend.h"

static_assert(sizeof(Backend) % sizeof(void*) == 0, "every member of a backend is a pointer");

TEST(BackendTables, EveryMemberOfEachDesktopBackendIsSet) {
    const struct {
        const char* name;
        const Backend& table;
    } cases[] = {{"headless", HeadlessBackend()}, {"sdl", SdlBackend()}};
    for (const auto& c : cases) {
        EXPECT_STREQ(c.table.name, c.name);
        const auto* bytes = reinterpret_cast<const unsigned char*>(&c.table);
        for (std::size_t slot = 0; slot < sizeof(Backend) / sizeof(void*); ++slot) {
            std::uintptr_t value = 0;
            std::memcpy(&value, bytes + slot * sizeof(void*), sizeof value);
            EXPECT_NE(value, 0u) << c.name << " leaves member " << slot
                                 << " of struct Backend unset";
        }
    }
}

// The SDL2 and Windows backends share the core's common members: the calendar is the C
// runtime's clock (never the headless --time), and a mix that no output plays is let go.
TEST(BackendTables, TheCommonMembersAreTheSystemClockAndNothingElse) {
    const std::time_t before = std::time(nullptr);
    const std::time_t now = SdlBackend().calendarTime();
    const std::time_t after = std::time(nullptr);
    EXPECT_GE(now, before);
    EXPECT_LE(now, after);
    EXPECT_EQ(SdlBackend().calendarTime, &SystemCalendarTime);
    EXPECT_EQ(SdlBackend().afterFlip, &NothingAfterFlip);
    EXPECT_EQ(SdlBackend().mixWithoutOutput, &DiscardMix);
    // The headless backend keeps its own: the recording takes its mix, the script its flips.
    EXPECT_NE(HeadlessBackend().calendarTime, &SystemCalendarTime);
    EXPECT_NE(HeadlessBackend().afterFlip, &NothingAfterFlip);
    EXPECT_NE(HeadlessBackend().mixWithoutOutput, &DiscardMix);
}
