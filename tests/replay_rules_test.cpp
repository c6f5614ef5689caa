// What the verifier takes on trust and what it does not: the inputs no backend produces
// are refused with a reason naming the frame; a round's identity is what the round is,
// whatever its header says; signs of machine play show on machine-made input and not on
// a person's; SHA-256 gives the standard's answers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "replay/core/replay_format.h"
#include "replay/core/replay_identity.h"
#include "replay/core/replay_rules.h"
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
    EXPECT_EQ(Hash("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
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
    r.frames[1].inputs = {EditBreak(), EditMessage(0x0100, 0x0D, 1), EditBreak(), EditMessage(0x0100, 0x20, 1)};
    r.frames[20].inputs = {EditCursor(0, 0), EditDown(0, 0), EditUp(0, 0), EditCursor(639, 479), EditDown(639, 479)};
    r.frames[21].inputs = {EditUp(639, 479), EditMessage(0x001C, 0, 0), EditMessage(0x001C, 1, 0)};
    r.frames[299].inputs = {EditMessage(0x0100, 0x1B, 1), EditMessage(0x0010, 0, 0)};
    return r;
}

// Checks the rules on a round: "" when it passes, else the reason.
std::string Rules(const EditReplay& r, std::int64_t now = kNow) {
    const Bytes bytes = EditEncode(r);
    ReplayFile file;
    const char* why = "";
    if (!ReplayParse(bytes.data(), bytes.size(), &file, &why)) return std::string("unparsed: ") + why;
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
    const char* why = "";
    EXPECT_TRUE(ReplayParse(bytes.data(), bytes.size(), &file, &why)) << why;
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
    for (const Change& c : changes) {
        EditReplay r = round;
        c.edit(&r);
        EXPECT_NE(Identity(EditEncode(r)), id) << c.what;
    }
}

TEST(ReplayIdentity, TheProgramTextIsOneSafeToken) {
    struct Case {
        const char* text;
        const char* token;
    };
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
    for (const Case& c : cases) {
        ReplayHeader h;
        std::memcpy(h.program, c.text, std::strlen(c.text));
        char token[64];
        ReplayProgramToken(h, token, sizeof token);
        EXPECT_STREQ(token, c.token) << c.text;
    }
}

// --- signs of machine play -----------------------------------------------------------

// A made-up round fed to the signs as the verifier would: flies appear one at a time at
// given places, and a player takes them. Each player answers a fly that appeared at
// frame `shown`, at (fx, fy), with cursor moves and a press.
struct Feed {
    ReplaySigns signs;
    std::uint32_t tick = 1000;
    int swatted = 0;
    bool flyUp = false;
    int flyX = 0, flyY = 0;
    int cursorX = 320, cursorY = 240;

    explicit Feed(bool touch = false) { SignsStart(&signs, touch, cursorX, cursorY); }

    // One frame: its inputs (cursor moves, then a press when asked), and the state at its flip.
    void Frame(const std::vector<std::pair<int, int>>& moves, bool press) {
        SignsFrameStart(&signs, tick);
        for (auto [x, y] : moves) {
            cursorX = x;
            cursorY = y;
            SignsCursor(&signs, x, y);
        }
        if (press) {
            SignsPress(&signs);
            if (flyUp && std::abs(cursorX - flyX) <= 25 && std::abs(cursorY - flyY) <= 25) {
                ++swatted;
                flyUp = false;
            }
        }
        SignsView v;
        v.playing = true;
        v.swatted = swatted;
        v.reachable = flyUp;
        v.aimKnown = flyUp;
        v.aimX = flyX + 1;
        v.aimY = flyY + 1;
        SignsFrameEnd(&signs, v);
        tick += 17;
    }
    void Idle(int frames) {
        for (int i = 0; i < frames; ++i) Frame({}, false);
    }
    void Show(int x, int y) {
        flyUp = true;
        flyX = x;
        flyY = y;
    }
    std::string Report() {
        char out[256];
        SignsReport(signs, out, sizeof out);
        return out;
    }
};

// Where the flies of the made-up rounds appear.
std::pair<int, int> FlyPlace(int i) { return {60 + (i * 137) % 520, 50 + (i * 89) % 380}; }

// A person: sees the fly after 250-400 ms, moves there along a smooth path in 250-450 ms
// (slow at both ends), clicks a little after stopping.
std::string Person(bool touch) {
    Feed f(touch);
    f.Idle(30);
    for (int i = 0; i < 25; ++i) {
        auto [x, y] = FlyPlace(i);
        f.Show(x, y);
        f.Frame({}, false);
        f.Idle(15 + i % 10);  // reaction
        // Somewhere on the fly, as a hand lands, not on one chosen pixel.
        x += (i * 5) % 11 - 5;
        y += (i * 3) % 9 - 4;
        const int sx = f.cursorX, sy = f.cursorY;
        const int steps = 15 + (i * 7) % 12;
        for (int k = 1; k <= steps; ++k) {
            const double t = static_cast<double>(k) / steps;
            const double s = t * t * t * (10 - 15 * t + 6 * t * t);  // minimum jerk
            f.Frame({{sx + static_cast<int>(std::lround((x - sx) * s)), sy + static_cast<int>(std::lround((y - sy) * s))}},
                    false);
        }
        f.Idle(3);
        f.Frame({}, true);
        f.Idle(10 + i % 8);
    }
    return f.Report();
}

TEST(ReplaySigns, APersonShowsNone) {
    EXPECT_EQ(Person(false), "-");
    EXPECT_EQ(Person(true), "-");
}

TEST(ReplaySigns, APersonsOddFastMomentsAreNotEnough) {
    // Now and then a flick and a quick click: fewer than the signs need.
    Feed f;
    for (int i = 0; i < 30; ++i) {
        auto [x, y] = FlyPlace(i);
        f.Show(x, y);
        f.Idle(18);
        if (i % 8 == 0) {
            f.Frame({{x + 1, y + 1}}, true);  // a flick that hit
        } else {
            f.Frame({{(f.cursorX + x) / 2, (f.cursorY + y) / 2}}, false);
            f.Frame({{x + 3, y + 2}}, false);
            f.Idle(4);
            f.Frame({}, true);
        }
        f.Idle(12);
    }
    EXPECT_EQ(f.Report(), "-");
}

TEST(ReplaySigns, ABotThatSwatsOnEveryFrameShowsThemAll) {
    Feed f;
    for (int i = 0; i < 40; ++i) {
        auto [x, y] = FlyPlace(i);
        f.Show(x, y);
        f.Frame({}, false);
        f.Frame({{x + 1, y + 1}}, true);  // the frame after it shows, at the test player's aim
    }
    EXPECT_EQ(f.Report(), "jump_swats:40/40,click_interval:34ms,cursor_speed:40/40,reaction:0ms,autoplay_path:40/40");
}

TEST(ReplaySigns, TheTestPlayersWayShowsItsPathAndItsJumps) {
    // It clicks where its rule aims, at most every fourth frame, when it can reach a fly.
    Feed f;
    for (int i = 0; i < 20; ++i) {
        auto [x, y] = FlyPlace(i);
        f.Show(x, y);
        f.Idle(10);
        f.Frame({{x + 1, y + 1}}, true);
        f.Idle(3);
    }
    const std::string report = f.Report();
    EXPECT_NE(report.find("autoplay_path:20/20"), std::string::npos) << report;
    EXPECT_NE(report.find("jump_swats:20/20"), std::string::npos) << report;
    EXPECT_NE(report.find("cursor_speed:20/20"), std::string::npos) << report;
    EXPECT_EQ(report.find("click_interval"), std::string::npos) << report;
}

TEST(ReplaySigns, TouchTapsAreJumpsButNotFasterThanAHand) {
    // A finger lands where it taps: jumps are no sign there, but a bot's pace still is.
    Feed person(true);
    for (int i = 0; i < 20; ++i) {
        auto [x, y] = FlyPlace(i);
        person.Show(x, y);
        person.Idle(20);
        person.Frame({{x + 5, y - 3}}, true);
        person.Idle(10);
    }
    EXPECT_EQ(person.Report(), "-");
    Feed bot(true);
    for (int i = 0; i < 20; ++i) {
        auto [x, y] = FlyPlace(i);
        bot.Show(x, y);
        bot.Frame({}, false);
        bot.Frame({{x + 3, y + 3}}, true);
    }
    EXPECT_EQ(bot.Report(), "click_interval:34ms,reaction:0ms");
}

TEST(ReplaySigns, PressesOffTheBoardAreNotCounted) {
    ReplaySigns s;
    SignsStart(&s, false, 0, 0);
    for (int i = 0; i < 100; ++i) {
        SignsFrameStart(&s, 17u * i);
        SignsCursor(&s, (i * 200) % 640, 10);
        SignsPress(&s);
        SignsFrameEnd(&s, SignsView{});  // not playing: mode select, the results
    }
    char out[256];
    SignsReport(s, out, sizeof out);
    EXPECT_STREQ(out, "-");
}

}  // namespace
