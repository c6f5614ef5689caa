// What the verifier takes on trust and what it does not: the inputs no backend produces
// are refused with a reason naming the frame, and the presses a frame may hold.
#include "replay/core/replay_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "replay/core/replay_format.h"
#include "tests/support/replay_edit.h"
#include "tests/support/replay_samples.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Checks the rules on a round: "" when it passes, else the reason.
std::string Rules(const EditReplay& r, std::int64_t now = kSampleNow) {
    const Bytes bytes = EditEncode(r);
    ReplayFile file;
    char why[kReplayReasonSize] = "";
    if (!ReplayParse(bytes.data(), bytes.size(), &file, why, sizeof why))
        return std::string("unparsed: ") + why;
    char reason[192];
    return ReplayFollowsRules(file, now, reason, sizeof reason) ? "" : reason;
}

std::vector<ReplayInput> Presses(int count, int x = 100, int y = 100) {
    std::vector<ReplayInput> v;
    for (int i = 0; i < count; ++i) {
        v.push_back(EditDown(x, y));
        v.push_back(EditUp(x, y));
    }
    return v;
}

TEST(ReplayRules, EveryInputABackendSendsPasses) {
    EXPECT_EQ(Rules(SampleRound()), "");
    // A frame after a stall of a second holds what a mouse delivered meanwhile.
    EditReplay r = SampleRound();
    for (std::size_t i = 100; i < r.frames.size(); ++i) r.frames[i].tick += 1000;
    r.frames[100].inputs = Presses(ReplayMostPresses(1017, false));
    EXPECT_EQ(Rules(r), "");
    // A stall after the frame's tick was read: it shows in the next frame's.
    r = SampleRound();
    for (std::size_t i = 101; i < r.frames.size(); ++i) r.frames[i].tick += 200;
    r.frames[100].inputs = Presses(ReplayMostPresses(217, false));
    EXPECT_EQ(Rules(r), "");
    // Ten fingers on a touch screen at once.
    r = SampleRound();
    r.header.flags = kReplayTouch;
    r.frames[50].inputs = Presses(ReplayMostPresses(50, true));
    EXPECT_EQ(Rules(r), "");
    // A held key repeating 33 times a second for three seconds, and after a stall of a
    // second the repeats it brought in one frame.
    r = SampleRound();
    for (int t = 0; t < 100; ++t)
        r.frames[30 + t * 30 * 60 / 1000].inputs.push_back(EditMessage(0x0100, 0x20, 1));
    for (std::size_t i = 200; i < r.frames.size(); ++i) r.frames[i].tick += 1000;
    r.frames[200].inputs.assign(40, EditMessage(0x0100, 0x0D, 1));
    EXPECT_EQ(Rules(r), "");
    // The window switched away and back eight times a second.
    r = SampleRound();
    for (int f = 30; f < 150; f += 7) r.frames[f].inputs = {EditMessage(0x001C, (f / 7) % 2, 0)};
    EXPECT_EQ(Rules(r), "");
    // The seed up to a day ahead of the verifier's clock (a clock set wrong, a time zone).
    r = SampleRound();
    r.header.calendarTime = static_cast<std::uint32_t>(kSampleNow + kReplayFutureSlack);
    EXPECT_EQ(Rules(r), "");
}

TEST(ReplayRules, InputsNoBackendSendsAreRefusedNamingTheFrame) {
    struct Case {
        const char* what;
        void (*edit)(EditReplay*);
        const char* reason;
    };
    // clang-format off
    const Case cases[] = {
        {"cursor left of the screen", [](EditReplay* r) { r->frames[7].inputs = {EditCursor(-31, 140)}; },
         "the cursor leaves the 640x480 screen in frame 7, to (-31,140)"},
        {"cursor right of the screen", [](EditReplay* r) { r->frames[8].inputs = {EditCursor(672, 210)}; },
         "the cursor leaves the 640x480 screen in frame 8, to (672,210)"},
        {"cursor one past the edge", [](EditReplay* r) { r->frames[9].inputs = {EditCursor(640, 479)}; },
         "the cursor leaves the 640x480 screen in frame 9, to (640,479)"},
        {"cursor below, after a drain", [](EditReplay* r) { r->frames[9].inputs = {EditBreak(), EditCursor(5, 480)}; },
         "the cursor leaves the 640x480 screen in frame 9, to (5,480)"},
        {"cursor off the screen and back", [](EditReplay* r) { r->frames[10].inputs = {EditCursor(320, -1), EditCursor(320, 240)}; },
         "the cursor leaves the 640x480 screen in frame 10, to (320,-1)"},
        {"the round starting off the screen", [](EditReplay* r) { r->header.cursorX = -8; },
         "the cursor starts outside the 640x480 screen, at (-8,240)"},
        {"a press posted off the screen", [](EditReplay* r) { r->frames[11].inputs = {EditDown(700, 20)}; },
         "a press in frame 11 is outside the 640x480 screen, at (700,20)"},
        {"a release posted off the screen", [](EditReplay* r) { r->frames[11].inputs = {EditUp(3, -2)}; },
         "a release in frame 11 is outside the 640x480 screen, at (3,-2)"},
        {"five presses in a frame on time", [](EditReplay* r) { r->frames[12].inputs = Presses(5); },
         "frame 12 has 5 presses of the button; a mouse gives at most 4 in the 50 ms around it"},
        {"releases alone", [](EditReplay* r) {
             r->frames[12].inputs.assign(5, EditUp(100, 100));
         }, "frame 12 has 5 releases of the button; a mouse gives at most 4 in the 50 ms around it"},
        {"a hundred presses", [](EditReplay* r) { r->frames[13].inputs = Presses(100); },
         "frame 13 has 100 presses of the button; a mouse gives at most 4 in the 51 ms around it"},
        {"five presses in the round's last frame", [](EditReplay* r) { r->frames[299].inputs = Presses(5); },
         "frame 299 has 5 presses of the button; a mouse gives at most 4 in the 51 ms around it"},
        {"five presses in frame 0", [](EditReplay* r) { r->frames[0].inputs = Presses(5); },
         "frame 0 has 5 presses of the button; a mouse gives at most 4 in the 51 ms around it"},
        {"thirteen taps in a frame", [](EditReplay* r) {
             r->header.flags = kReplayTouch;
             r->frames[12].inputs = Presses(14);
         }, "frame 12 has 14 presses of the button; a touch screen gives at most 13 in the 50 ms around it"},
        {"five keys in a frame on time", [](EditReplay* r) { r->frames[12].inputs.assign(5, EditMessage(0x0100, 0x0D, 1)); },
         "frame 12 has 5 key strokes; a keyboard gives at most 4 in the 50 ms around it"},
        {"a key every frame", [](EditReplay* r) {
             for (int f = 40; f < 100; ++f) r->frames[f].inputs = {EditMessage(0x0100, 0x20, 1)};
         }, "frames 40 to 50 have 11 key strokes; a keyboard gives at most 10 in the 217 ms around them"},
        {"four activations in a frame", [](EditReplay* r) {
             r->frames[16].inputs = {EditMessage(0x001C, 0, 0), EditMessage(0x001C, 1, 0), EditMessage(0x001C, 0, 0),
                                     EditMessage(0x001C, 1, 0)};
         }, "frame 16 has 4 activations of the window; the window system gives at most 3 in the 3 frames around it"},
        {"four activations after a stall of a minute", [](EditReplay* r) {
             for (std::size_t i = 16; i < r->frames.size(); ++i) r->frames[i].tick += 60000;
             r->frames[16].inputs = {EditMessage(0x001C, 0, 0), EditMessage(0x001C, 1, 0), EditMessage(0x001C, 0, 0),
                                     EditMessage(0x001C, 1, 0)};
         }, "frame 16 has 4 activations of the window; the window system gives at most 3 in the 3 frames around it"},
        {"a switch of windows every other frame", [](EditReplay* r) {
             for (int f = 60; f < 100; f += 2) r->frames[f].inputs = {EditMessage(0x001C, (f / 2) % 2, 0)};
         }, "frames 60 to 68 have 5 activations of the window; the window system gives at most 4 in the 11 frames around them"},
        {"nine drains in a frame", [](EditReplay* r) {
             r->frames[17].inputs.assign(8, EditBreak());
             r->frames[17].inputs.push_back(EditMessage(0x0100, 0x1B, 1));
         }, "frame 17 has 9 drains of the queue; the game empties it at most 8 times between two flips"},
        {"the cursor moved nine times for the game's eight looks", [](EditReplay* r) {
             for (int k = 0; k < 9; ++k) r->frames[18].inputs.push_back(EditCursor(100 + k, 100));
         }, "frame 18 moves the cursor 9 times; the game sees it at most 8 times there"},
        {"the key A", [](EditReplay* r) { r->frames[14].inputs = {EditMessage(0x0100, 'A', 1)}; },
         "frame 14 has a key the game never receives (key 65)"},
        {"Enter as a repeat", [](EditReplay* r) { r->frames[14].inputs = {EditMessage(0x0100, 0x0D, 0x40000001)}; },
         "frame 14 has a key the game never receives (key 13)"},
        {"a key's release", [](EditReplay* r) { r->frames[15].inputs = {EditMessage(0x0101, 0x1B, 1)}; },
         "frame 15 has a key's release, which the game's window never passes on"},
        {"the right button", [](EditReplay* r) { r->frames[15].inputs = {EditMessage(0x0204, 2, EditAt(1, 1))}; },
         "frame 15 has the right button's press, which the game's window never passes on"},
        {"a raw mouse move", [](EditReplay* r) { r->frames[15].inputs = {EditMessage(0x0200, 0, EditAt(1, 1))}; },
         "frame 15 has a raw mouse move, which the game's window never passes on"},
        {"an odd activation", [](EditReplay* r) { r->frames[16].inputs = {EditMessage(0x001C, 2, 0)}; },
         "frame 16 has a message no window sends so (message 0x001c)"},
        {"a press with the wrong buttons", [](EditReplay* r) { r->frames[16].inputs = {EditMessage(0x0201, 3, EditAt(4, 4))}; },
         "frame 16 has a message no window sends so (message 0x0201)"},
        {"a seed a day and a second ahead", [](EditReplay* r) {
             r->header.calendarTime = static_cast<std::uint32_t>(kSampleNow + kReplayFutureSlack + 1);
         }, "the round says it was played on 2027-01-16 08:00 UTC, more than a day after this verifier's clock "
            "(2027-01-15 08:00 UTC)"},
    };
    // clang-format on
    for (const Case& c : cases) {
        EditReplay r = SampleRound();
        c.edit(&r);
        EXPECT_EQ(Rules(r), c.reason) << c.what;
    }
}

TEST(ReplayRules, PressesAllowedGrowWithTheFramesWait) {
    EXPECT_EQ(ReplayMostPresses(50, false), 4);  // a frame on time
    EXPECT_EQ(ReplayMostPresses(250, false), 14);
    EXPECT_EQ(ReplayMostPresses(50, true), 13);
    EXPECT_EQ(ReplayMostPresses(-5, false), 2);
    // A stall's count is bounded, whatever the file says.
    EXPECT_EQ(ReplayMostPresses(std::int64_t{1} << 40, false), 50002);
}

}  // namespace
