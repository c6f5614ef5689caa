// What the verifier takes on trust and what it does not: the inputs no backend produces
// are refused with a reason naming the frame; a round's identity is what the round is,
// whatever its header says; signs of machine play show on machine-made input and not on
// a person's; SHA-256 gives the standard's answers.
#include "replay/core/replay_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "replay/core/replay_format.h"
#include "replay/core/replay_identity.h"
#include "replay/core/replay_signs.h"
#include "replay/core/sha256.h"
#include "tests/support/replay_edit.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kNow = 1800000000;  // the verifier's clock in these tests

std::string Hash(const std::string& text) {
    Sha256 s;
    Sha256Start(&s);
    Sha256Feed(&s, text.data(), text.size());
    std::uint8_t digest[32];
    Sha256Finish(&s, digest);
    char hex[65];
    Sha256Hex(digest, hex);
    return hex;
}

TEST(Sha256, StandardVectors) {
    EXPECT_EQ(Hash(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Hash("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Hash("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Hash("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnop"
                   "qklmnopqrlmnopqrsmnopqrstnopqrstu"),
              "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    // A million a's, fed in uneven pieces across the block boundaries.
    Sha256 s;
    Sha256Start(&s);
    const std::string a(1000, 'a');
    std::size_t fed = 0;
    for (std::size_t piece = 1; fed < 1000000; piece = piece % 97 + 1) {
        const std::size_t n = std::min(piece, 1000000 - fed);
        Sha256Feed(&s, a.data(), n);
        fed += n;
    }
    std::uint8_t digest[32];
    Sha256Finish(&s, digest);
    char hex[65];
    Sha256Hex(digest, hex);
    EXPECT_STREQ(hex, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

ReplayHeader Header() {
    ReplayHeader h;
    h.flySetting = 0;
    h.speedSetting = 1;
    h.startFlip = 40;
    h.startTick = EditSteadyTick(40);
    h.cursorX = 320;
    h.cursorY = 240;
    h.timeMs = 5000;
    h.calendarTime = static_cast<std::uint32_t>(kNow - 3600);
    std::memcpy(h.program, "1.2.3", 5);
    return h;
}

// A round of 300 steady frames with a few ordinary inputs of every kind a window sends.
EditReplay Round() {
    EditReplay r;
    r.header = Header();
    r.frames = EditSteadyFrames(r.header, 300);
    r.frames[0].inputs = {EditCursor(322, 241), EditDown(322, 241), EditUp(322, 241)};
    r.frames[1].inputs = {EditBreak(), EditMessage(0x0100, 0x0D, 1), EditBreak(),
                          EditMessage(0x0100, 0x20, 1)};
    r.frames[20].inputs = {EditCursor(0, 0), EditDown(0, 0), EditUp(0, 0), EditCursor(639, 479),
                           EditDown(639, 479)};
    r.frames[21].inputs = {EditUp(639, 479), EditMessage(0x001C, 0, 0), EditMessage(0x001C, 1, 0)};
    r.frames[299].inputs = {EditMessage(0x0100, 0x1B, 1), EditMessage(0x0010, 0, 0)};
    return r;
}

// Checks the rules on a round: "" when it passes, else the reason.
std::string Rules(const EditReplay& r, std::int64_t now = kNow) {
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
    EXPECT_EQ(Rules(Round()), "");
    // A frame after a stall of a second holds what a mouse delivered meanwhile.
    EditReplay r = Round();
    for (std::size_t i = 100; i < r.frames.size(); ++i) r.frames[i].tick += 1000;
    r.frames[100].inputs = Presses(ReplayMostPresses(1017, false));
    EXPECT_EQ(Rules(r), "");
    // A stall after the frame's tick was read: it shows in the next frame's.
    r = Round();
    for (std::size_t i = 101; i < r.frames.size(); ++i) r.frames[i].tick += 200;
    r.frames[100].inputs = Presses(ReplayMostPresses(217, false));
    EXPECT_EQ(Rules(r), "");
    // Ten fingers on a touch screen at once.
    r = Round();
    r.header.flags = kReplayTouch;
    r.frames[50].inputs = Presses(ReplayMostPresses(50, true));
    EXPECT_EQ(Rules(r), "");
    // A held key repeating 33 times a second for three seconds, and after a stall of a
    // second the repeats it brought in one frame.
    r = Round();
    for (int t = 0; t < 100; ++t)
        r.frames[30 + t * 30 * 60 / 1000].inputs.push_back(EditMessage(0x0100, 0x20, 1));
    for (std::size_t i = 200; i < r.frames.size(); ++i) r.frames[i].tick += 1000;
    r.frames[200].inputs.assign(40, EditMessage(0x0100, 0x0D, 1));
    EXPECT_EQ(Rules(r), "");
    // The window switched away and back eight times a second.
    r = Round();
    for (int f = 30; f < 150; f += 7) r.frames[f].inputs = {EditMessage(0x001C, (f / 7) % 2, 0)};
    EXPECT_EQ(Rules(r), "");
    // The seed up to a day ahead of the verifier's clock (a clock set wrong, a time zone).
    r = Round();
    r.header.calendarTime = static_cast<std::uint32_t>(kNow + kReplayFutureSlack);
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
             r->header.calendarTime = static_cast<std::uint32_t>(kNow + kReplayFutureSlack + 1);
         }, "the round says it was played on 2027-01-16 08:00 UTC, more than a day after this verifier's clock "
            "(2027-01-15 08:00 UTC)"},
    };
    // clang-format on
    for (const Case& c : cases) {
        EditReplay r = Round();
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

std::string Identity(const Bytes& bytes) {
    ReplayFile file;
    char why[kReplayReasonSize] = "";
    EXPECT_TRUE(ReplayParse(bytes.data(), bytes.size(), &file, why, sizeof why)) << why;
    char hex[65];
    ReplayRoundIdentity(file, hex);
    return hex;
}

TEST(ReplayIdentity, TheSameRoundWhateverTheHeaderSays) {
    const EditReplay round = Round();
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
    const EditReplay round = Round();
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
    EXPECT_EQ(hex, Hash(bytes));
    ReplaySwatsIdentity(10, 2, 100000000, frames, 2, hex);
    EXPECT_NE(hex, Hash(bytes));
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

// --- signs of machine play -----------------------------------------------------------

// Where a hand lands on the i-th fly: somewhere on it, not on one chosen pixel.
int ScatterX(int i) { return (i * 5) % 11 - 5; }
int ScatterY(int i) { return (i * 3) % 9 - 4; }

// A made-up round fed to the signs as the verifier would: flies appear where a test
// puts them and stand still, and a player takes them with cursor moves and presses (a
// press swats the flies whose box holds the cursor, as the game's does).
struct Feed {
    ReplaySigns signs;
    std::uint32_t tick = 1000;
    std::vector<std::pair<int, int>> flies;  // live, oldest first
    int cursorX = 320, cursorY = 240;
    int shown = 0;            // flies shown so far
    int hidden = 0;           // the next this many flies to come stay off the screen
    std::vector<bool> drawn;  // per live fly

    explicit Feed(bool touch) { SignsStart(&signs, touch, cursorX, cursorY, false); }

    // One frame: its cursor moves, then a press and release when asked, and its flip.
    void Frame(const std::vector<std::pair<int, int>>& moves, bool press) {
        SignsFrameStart(&signs, tick);
        for (auto [x, y] : moves) {
            cursorX = x;
            cursorY = y;
            SignsCursor(&signs, x, y);
        }
        if (press) {
            std::vector<int> hits;
            int aimX = 0, aimY = 0;
            for (std::size_t i = 0; i < flies.size(); ++i) {
                auto [x, y] = flies[i];
                if (cursorX < x - 24 || cursorX > x + 26 || cursorY < y - 24 || cursorY > y + 26)
                    continue;
                if (hits.empty()) aimX = x + 1, aimY = y + 1;
                hits.push_back(static_cast<int>(i));
            }
            SignsPress(&signs, hits.data(), static_cast<int>(hits.size()), aimX, aimY);
            for (auto k = hits.rbegin(); k != hits.rend(); ++k) {
                flies.erase(flies.begin() + *k);
                drawn.erase(drawn.begin() + *k);
            }
            SignsRelease(&signs);
        }
        SignsView v;
        v.playing = true;
        std::vector<SignsFly> live;
        for (std::size_t i = 0; i < flies.size(); ++i) {
            auto [x, y] = flies[i];
            const bool under =
                cursorX >= x - 24 && cursorX <= x + 26 && cursorY >= y - 24 && cursorY <= y + 26;
            live.push_back(SignsFly{true, x + 1, y + 1, drawn[i], under});
        }
        if (!flies.empty())
            v.aimKnown = true, v.aimX = flies[0].first + 1, v.aimY = flies[0].second + 1;
        SignsFrameEnd(&signs, v, live.data(), static_cast<int>(live.size()));
        tick += 17;
    }
    void Idle(int frames) {
        for (int i = 0; i < frames; ++i) Frame({}, false);
    }
    // The next fly appears (at the flip of a frame without input); where it is.
    std::pair<int, int> Show() {
        const int i = shown++;
        flies.push_back({60 + (i * 137) % 520, 50 + (i * 89) % 380});
        drawn.push_back(hidden == 0);
        if (hidden > 0) --hidden;
        Frame({}, false);
        return flies.back();
    }
    // A smooth reach to (x, y) over `steps` frames, slow at both ends (minimum jerk).
    void Reach(int x, int y, int steps) {
        const int sx = cursorX, sy = cursorY;
        for (int k = 1; k <= steps; ++k) {
            const double t = static_cast<double>(k) / steps,
                         s = t * t * t * (10 - 15 * t + 6 * t * t);
            Frame({{sx + static_cast<int>(std::lround((x - sx) * s)),
                    sy + static_cast<int>(std::lround((y - sy) * s))}},
                  false);
        }
    }
    // A person's swat of the fly just shown: a reaction, a smooth reach, a pause.
    void PersonSwat(int i) {
        auto [x, y] = Show();
        Idle(15 + i % 10);
        Reach(x + ScatterX(i), y + ScatterY(i), 15 + (i * 7) % 12);
        Idle(3);
        Frame({}, true);
        Idle(10 + i % 8);
    }
    // A swat `overMs` above its floor: the fly shows, the cursor reaches it smoothly and
    // presses as soon as the floor of that reach and the margin have gone by.
    void FloorSwat(int i, int overMs) {
        auto [x, y] = Show();
        const int tx = x + ScatterX(i), ty = y + ScatterY(i);
        const double floor = SignsFloorMs(std::hypot(tx - cursorX, ty - cursorY));
        const int frames = static_cast<int>(std::ceil((floor + overMs) / 17));
        Reach(tx, ty, frames > 1 ? frames - 1 : 1);
        Frame({}, true);
        Idle(5);
    }
    std::string Report() const {
        char out[256];
        SignsReport(signs, out, sizeof out);
        return out;
    }
};

TEST(ReplaySigns, HandsShowNoneAndMachinesShowTheirs) {
    struct Case {
        const char* who;
        bool touch;
        void (*play)(Feed*);
        const char* signs;
    };
    // clang-format off
    const Case cases[] = {
        // Sees the fly after 250-400 ms, reaches it on a smooth path in 250-450 ms,
        // presses a little after stopping.
        {"a person at a mouse", false, [](Feed* f) {
             f->Idle(30);
             for (int i = 0; i < 25; ++i) {
                 auto [x, y] = f->Show();
                 f->Idle(15 + i % 10);
                 f->Reach(x + ScatterX(i), y + ScatterY(i), 15 + (i * 7) % 12);
                 f->Idle(3);
                 f->Frame({}, true);
                 f->Idle(10 + i % 8);
             }
         }, "-"},
        // The same person, but the last swat comes before a person could have seen its fly:
        // however long the round, that one is never free.
        {"a person whose last swat is too quick", false, [](Feed* f) {
             f->Idle(30);
             for (int i = 0; i < 24; ++i) f->PersonSwat(i);
             auto [x, y] = f->Show();
             f->Frame({{(f->cursorX + x) / 2, (f->cursorY + y) / 2}}, false);
             f->Frame({{x, y}}, true);
         }, "fast_swats:1/25"},
        // In a short round no fast swat is free: one fly swatted before it showed.
        {"ten swats, one on a fly never shown", false, [](Feed* f) {
             for (int i = 0; i < 10; ++i) {
                 if (i == 4) f->hidden = 1;
                 f->PersonSwat(i);
             }
         }, "fast_swats:1/10"},
        // In a long one a few are a person's luck (5 % rounded down: 2 of 40), a third not.
        {"forty swats, two on flies shown too briefly", false, [](Feed* f) {
             for (int i = 0; i < 40; ++i) {
                 if (i != 7 && i != 21) {
                     f->PersonSwat(i);
                     continue;
                 }
                 auto [x, y] = f->Show();
                 f->Reach(x, y, 3);
                 f->Frame({}, true);
                 f->Idle(10);
             }
         }, "-"},
        {"forty swats, three on flies shown too briefly", false, [](Feed* f) {
             for (int i = 0; i < 40; ++i) {
                 if (i != 7 && i != 21 && i != 30) {
                     f->PersonSwat(i);
                     continue;
                 }
                 auto [x, y] = f->Show();
                 f->Reach(x, y, 3);
                 f->Frame({}, true);
                 f->Idle(10);
             }
         }, "fast_swats:3/40"},
        // Every swat a little above its floor (a machine's noise over the floors): near it.
        {"a machine 30-90 ms above the floors", false, [](Feed* f) {
             for (int i = 0; i < 20; ++i) f->FloorSwat(i, 30 + (i * 13) % 60);
         }, "near_floor:20/20"},
        // Half of them near, half well above: half is enough.
        {"a machine near the floors half the time", false, [](Feed* f) {
             for (int i = 0; i < 20; ++i) f->FloorSwat(i, i % 2 ? 40 : 400);
         }, "near_floor:10/20"},
        {"a machine near the floors a third of the time", false, [](Feed* f) {
             for (int i = 0; i < 21; ++i) f->FloorSwat(i, i % 3 ? 400 : 40);
         }, "-"},
        // Waiting where each fly will show, pressing 250 ms after it does (well above the
        // floor of a reach of nothing): a person cannot know where a fly will come.
        {"a machine waiting where each fly shows", false, [](Feed* f) {
             for (int i = 0; i < 12; ++i) {
                 const auto [x, y] = std::pair<int, int>{60 + (i * 137) % 520, 50 + (i * 89) % 380};
                 f->Reach(x + ScatterX(i), y + ScatterY(i), 14);
                 f->Show();
                 f->Idle(12 + (i * 5) % 7);
                 f->Frame({}, true);
             }
         }, "near_floor:12/12"},
        // Taps: the finger lands on the fly after a reaction and a reach, the cursor
        // still between taps.
        {"a person on a touch screen", true, [](Feed* f) {
             for (int i = 0; i < 20; ++i) {
                 auto [x, y] = f->Show();
                 f->Idle(20 + (i * 7) % 15);
                 f->Frame({{x + ScatterX(i), y + ScatterY(i)}}, true);
                 f->Idle(10);
             }
         }, "-"},
        // Now and then a flick and a quick press: fewer than the signs need.
        {"a person's odd fast moments", false, [](Feed* f) {
             for (int i = 0; i < 30; ++i) {
                 auto [x, y] = f->Show();
                 f->Idle(18);
                 if (i % 8 == 0) {
                     f->Frame({{x + ScatterX(i), y + ScatterY(i)}}, true);  // a flick that hit
                 } else {
                     f->Frame({{(f->cursorX + x) / 2, (f->cursorY + y) / 2}}, false);
                     f->Frame({{x + ScatterX(i), y + ScatterY(i)}}, false);
                     f->Idle(4);
                     f->Frame({}, true);
                 }
                 f->Idle(12);
             }
         }, "-"},
        // The frame after a fly shows, the cursor jumps onto the test player's pixel and presses.
        {"a bot that swats on every frame", false, [](Feed* f) {
             for (int i = 0; i < 40; ++i) {
                 auto [x, y] = f->Show();
                 f->Frame({{x + 1, y + 1}}, true);
             }
         }, "jump_swats:40/40,cursor_speed:40/40,fast_swats:40/40,landing_spread:0.0px,timing_spread:0ms,autoplay_path:40/40"},
        {"the same bot on a touch screen", true, [](Feed* f) {
             for (int i = 0; i < 20; ++i) {
                 auto [x, y] = f->Show();
                 f->Frame({{x + 4, y + 4}}, true);
             }
         }, "fast_swats:20/20,landing_spread:0.0px,timing_spread:0ms"},
        // Where its rule aims, at most every fourth frame, when it can reach a fly.
        {"the test player's way", false, [](Feed* f) {
             for (int i = 0; i < 20; ++i) {
                 auto [x, y] = f->Show();
                 f->Idle(9);
                 f->Frame({{x + 1, y + 1}}, true);
                 f->Idle(3);
             }
         }, "jump_swats:20/20,cursor_speed:20/20,fast_swats:20/20,landing_spread:0.0px,timing_spread:0ms,"
            "autoplay_path:20/20"},
        // Under the simple signs: the cursor never rests and never jumps onto a fly, it
        // arrives a frame before pressing, 3 pixels off the test player's pixel, 133 ms
        // after every other cue and at once after the rest (there before the fly was).
        {"a bot that keeps under the simple signs", false, [](Feed* f) {
             for (int i = 0; i < 12; ++i) {
                 const auto [x, y] = std::pair<int, int>{60 + (i * 137) % 520, 50 + (i * 89) % 380};
                 if (i % 2 == 0) {
                     f->Reach(x + 4, y + 1, 12);
                     f->Show();
                     f->Frame({{x + 4, y + 2}}, false);
                     f->Frame({{x + 4, y + 1}}, true);
                 } else {
                     f->Show();
                     f->Reach(x + 4, y + 1, 7);
                     f->Frame({{x + 4, y + 2}}, false);
                     f->Frame({{x + 4, y + 1}}, true);
                 }
             }
         }, "fast_swats:12/12,landing_spread:0.0px"},
    };
    // clang-format on
    for (const Case& c : cases) {
        Feed f(c.touch);
        c.play(&f);
        EXPECT_EQ(f.Report(), c.signs) << c.who;
    }
    // The same careful bot with the touch flag: the flag takes jumps off, and its glides show.
    Feed touch(true);
    for (const Case& c : cases)
        if (std::strcmp(c.who, "a bot that keeps under the simple signs") == 0) c.play(&touch);
    EXPECT_EQ(touch.Report(), "touch_glide:12/12,fast_swats:12/12,landing_spread:0.0px");
}

TEST(ReplaySigns, PressesOffTheBoardAreNotCounted) {
    ReplaySigns s;
    SignsStart(&s, false, 0, 0, false);
    const int hit = 0;
    for (int i = 0; i < 100; ++i) {
        SignsFrameStart(&s, 17u * i);
        SignsCursor(&s, (i * 200) % 640, 10);
        SignsPress(&s, &hit, 1, 0, 0);
        SignsFrameEnd(&s, SignsView{}, nullptr, 0);  // not playing: mode select, the results
    }
    char out[256];
    SignsReport(s, out, sizeof out);
    EXPECT_STREQ(out, "-");
}

// Steering: each swat's press ranked among its alternatives. A hand blind to the random
// sequence is near the best as often as chance has it; a machine that picks its press
// frame by what the sequence will deal is near it again and again.
TEST(ReplaySigns, SteeringIsRanksTooGoodForChance) {
    struct Case {
        const char* who;
        int swats;
        int alternatives, atBest;  // each swat's
        bool (*best)(int swat);    // the press among the best
        const char* signs;
    };
    // clang-format off
    const Case cases[] = {
        // (3/17)^9 = 1.6e-7: a 10-fly round steered at every swat but its last.
        {"every swat near the best", 9, 17, 3, [](int) { return true; }, "steering:9/9"},
        // (3/17)^8 = 9.4e-7, and the ninth's chance on top: above one in a million.
        {"all swats but one near the best", 9, 17, 3, [](int i) { return i != 4; }, "-"},
        {"one swat in ten steered", 100, 17, 3, [](int i) { return i % 10 == 0; }, "-"},
        // Near the best as often as 3 of 17 alternatives are: a hand.
        {"a blind hand", 170, 17, 3, [](int i) { return (i * 7) % 17 < 3; }, "-"},
        // A long round where the press is near the best twice as often as chance.
        {"a long round steered at a third of its swats", 120, 17, 3,
         [](int i) { return i % 3 == 0 || (i * 7) % 17 < 3; }, "steering:55/120"},
        // Alternatives that all deal alike say nothing.
        {"alternatives all alike", 50, 17, 17, [](int) { return true; }, "-"},
        {"a press with no alternative", 50, 1, 1, [](int) { return true; }, "-"},
    };
    // clang-format on
    for (const Case& c : cases) {
        ReplaySigns s;
        SignsStart(&s, false, 0, 0, false);
        for (int i = 0; i < c.swats; ++i) SignsSteer(&s, c.alternatives, c.atBest, c.best(i));
        char out[256];
        SignsReport(s, out, sizeof out);
        EXPECT_STREQ(out, c.signs) << c.who;
    }
    // The chance is the binomial tail, p = atBest / alternatives for each swat.
    ReplaySigns s;
    SignsStart(&s, false, 0, 0, false);
    for (int i = 0; i < 9; ++i) SignsSteer(&s, 17, 3, true);
    EXPECT_NEAR(SteerChance(s.steer), std::pow(3.0 / 17, 9), 1e-15);
    SignsSteer(&s, 10, 5, false);  // one more swat, even odds, not near the best
    const double p = 3.0 / 17;
    EXPECT_NEAR(SteerChance(s.steer), std::pow(p, 9) + 9 * std::pow(p, 8) * (1 - p) * 0.5, 1e-15);
    EXPECT_EQ(s.steer.swats, 10);
    EXPECT_EQ(s.steer.best, 9);
    // Past the most swats it ranks, the rest are not counted (a sample of long rounds).
    for (int i = 0; i < 2 * kSteerMostSwats; ++i) SignsSteer(&s, 17, 3, false);
    EXPECT_EQ(s.steer.swats, kSteerMostSwats);
    EXPECT_GT(SteerChance(s.steer), 0.99);
}

}  // namespace
