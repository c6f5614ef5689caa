// A backend's table is filled by name, so a member added to struct Backend and forgotten
// in one backend compiles and stays null, and the core calls it without looking. Every
// member is a pointer: each slot of each table the desktop links must be set.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/stand_in/backend.h"
#include "platform/sdl/sdl_backend.h"

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
            EXPECT_NE(value, 0u) << c.name << " leaves member " << slot << " of struct Backend unset";
        }
    }
}
