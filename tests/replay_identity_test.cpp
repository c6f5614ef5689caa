// A round's identity is what the round is, whatever its header says; one input changed
// is another round; the swats' identity hashes the documented bytes; the program text
// is one safe token.
#include "replay/core/replay_identity.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "replay/core/replay_format.h"
#include "replay/core/sha256.h"
#include "tests/support/replay_edit.h"
#include "tests/support/replay_samples.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Identity(const Bytes& bytes) {
    ReplayFile file;
    char why[kReplayReasonSize] = "";
    EXPECT_TRUE(ReplayParse(bytes.data(), bytes.size(), &file, why, sizeof why)) << why;
    char hex[65];
    ReplayRoundIdentity(file, hex);
    return hex;
}

TEST(ReplayIdentity, TheSameRoundWhateverTheHeaderSays) {
    const EditReplay round = SampleRound();
    const Bytes bytes = EditEncode(round);
    const std::string id = Identity(bytes);
    ASSERT_EQ(id.size(), 64u);

    // Header text, flags, the end byte, the stored result and the checksums are not the round.
    Bytes other = bytes;
    EditSetProgram(&other, "evil name");
    EXPECT_EQ(Identity(other), id);
    EditSetFlags(&other, kReplayTouch | kReplayGamepad);
    EXPECT_EQ(Identity(other), id);
    EditReplay r = round;
    r.header.end = kReplayEndQuit;
    r.header.timeMs = 1;
    r.header.finalChecksum = 77;
    r.checkpoints = {1, 2, 3, 4, 5};
    EXPECT_EQ(Identity(EditEncode(r)), id);
    // The same clock from another start (ticks count from frame 0's), and from another flip.
    r = round;
    for (EditFrame& f : r.frames) f.tick += 100000;
    r.header.startTick += 100000;
    EXPECT_EQ(Identity(EditEncode(r)), id);
    // Inputs the game cannot see: a cursor move undone before it is looked at, a move to
    // where it stands, a drain that ends with nothing after it.
    r = round;
    r.frames[20].inputs.insert(r.frames[20].inputs.begin(), EditCursor(50, 50));
    r.frames[30].inputs = {EditCursor(639, 479)};
    r.frames[40].inputs = {EditBreak()};
    EXPECT_EQ(Identity(EditEncode(r)), id);
    // Nor messages the game does nothing with in a round: activations, a release of a
    // button that is up.
    r = round;
    r.frames[5].inputs = {EditMessage(0x001C, 0, 0), EditUp(10, 10)};
    r.frames[21].inputs.insert(r.frames[21].inputs.begin() + 1, EditUp(639, 479));
    r.frames[60].inputs = {EditMessage(0x001C, 1, 0)};
    EXPECT_EQ(Identity(EditEncode(r)), id);
}

TEST(ReplayIdentity, AnotherRoundWhenOneInputChanges) {
    const EditReplay round = SampleRound();
    const std::string id = Identity(EditEncode(round));
    struct Change {
        const char* what;
        void (*edit)(EditReplay*);
    };
    // clang-format off
    const Change changes[] = {
        {"a press a pixel over", [](EditReplay* r) { r->frames[20].inputs[1] = EditDown(1, 0); }},
        {"the cursor a pixel over at a frame's end", [](EditReplay* r) { r->frames[20].inputs[3] = EditCursor(639, 478); }},
        {"a key in the other drain", [](EditReplay* r) { std::swap(r->frames[1].inputs[0], r->frames[1].inputs[1]); }},
        {"a key a frame later", [](EditReplay* r) { std::swap(r->frames[299].inputs, r->frames[298].inputs); }},
        {"one tick later", [](EditReplay* r) { for (std::size_t i = 150; i < r->frames.size(); ++i) ++r->frames[i].tick; }},
        {"another seed", [](EditReplay* r) { ++r->header.calendarTime; }},
        {"another speed", [](EditReplay* r) { r->header.speedSetting = 2; }},
        {"another mode", [](EditReplay* r) { r->header.flySetting = 1; }},
        {"the button down at the start", [](EditReplay* r) { r->header.mouseDown = 1; }},
        {"the cursor elsewhere at the start", [](EditReplay* r) { r->header.cursorY = 241; }},
        {"the button released a frame sooner", [](EditReplay* r) {
             r->frames[20].inputs.push_back(EditUp(639, 479));
             r->frames[21].inputs.erase(r->frames[21].inputs.begin());
         }},
        {"one more frame", [](EditReplay* r) { r->frames.push_back(EditFrame{r->frames.back().tick + 17, {}}); }},
    };
    // clang-format on
    for (const Change& c : changes) {
        EditReplay r = round;
        c.edit(&r);
        EXPECT_NE(Identity(EditEncode(r)), id) << c.what;
    }
}

TEST(ReplayIdentity, TheSwatsIdentityHashesTheDocumentedBytes) {
    // "zumble swats\n", then 10 flies, speed 2, the seed, 3 swats at frames 40, 41, 300.
    const std::string bytes = std::string("zumble swats\n") +
                              std::string("\x0a\0\0\0\x02\0\0\0\x00\xe1\xf5\x05", 12) +
                              std::string("\x03\0\0\0\x28\0\0\0\x29\0\0\0\x2c\x01\0\0", 16);
    const std::uint32_t frames[] = {40, 41, 300};
    char hex[65];
    ReplaySwatsIdentity(10, 2, 100000000, frames, 3, hex);
    EXPECT_EQ(hex, Sha256Of(bytes));
    ReplaySwatsIdentity(10, 2, 100000000, frames, 2, hex);
    EXPECT_NE(hex, Sha256Of(bytes));
}

TEST(ReplayIdentity, TheProgramTextIsOneSafeToken) {
    struct Case {
        const char* text;
        const char* token;
    };
    // clang-format off
    const Case cases[] = {
        {"", "-"},
        {"-", "%2D"},
        {"1.4.0", "1.4.0"},
        {"a b", "a%20b"},
        {"100%", "100%25"},
        {"x=1,y:2", "x=1,y:2"},
        {"\x01\x7f\xff\n", "%01%7F%FF%0A"},
        {"\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff",
         "%FF%FF%FF%FF%FF%FF%FF%FF%FF%FF%FF%FF%FF%FF%FF%FF"},
    };
    // clang-format on
    for (const Case& c : cases) {
        ReplayHeader h;
        std::memcpy(h.program, c.text, std::strlen(c.text));
        char token[64];
        ReplayProgramToken(h, token, sizeof token);
        EXPECT_STREQ(token, c.token) << c.text;
    }
}

}  // namespace
