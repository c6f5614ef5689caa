// The command line and the headless script at their bounds: what is taken, with what
// value, and what is refused.
#include "platform/stand_in/win32.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/services/option_rows.h"
#include "platform/services/options.h"
#include "platform/stand_in/script.h"

namespace {

int Parse(std::vector<std::string> args, Options* out, std::string* error) {
    args.insert(args.begin(), "zumble");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return ParseOptions(static_cast<int>(argv.size()), argv.data(), out, error);
}

TEST(CommandLine, OptionsAtTheirBounds) {
    struct Case {
        std::vector<std::string> args;
        bool taken;
        // For a taken line: the fields it sets.
        long long frames = -1;
        int scale = 0;
        std::uint32_t tick0 = 0;
        long long time = 1000000000;
        PadSettings pad = {};
    };
    // clang-format off
    const Case cases[] = {
        {{"--headless", "--frames", "1"}, true, 1},
        {{"--headless", "--frames", "1000000000000"}, true, 1000000000000LL},
        {{"--headless", "--frames", "0"}, false},
        {{"--headless", "--frames", "1000000000001"}, false},
        {{"--headless", "--frames", "-3"}, false},
        {{"--headless", "--frames", "5x"}, false},
        {{"--headless", "--frames"}, false},
        {{"--window", "--scale", "1"}, true, -1, 1},
        {{"--window", "--scale", "16"}, true, -1, 16},
        {{"--window", "--scale", "0"}, false},
        {{"--window", "--scale", "17"}, false},
        {{"--headless", "--scale", "2"}, false},
        {{"--headless", "--window"}, false},
        {{"--headless", "--fullscreen"}, false},
        {{"--window", "--fullscreen"}, false},
        {{"--headless", "--tick0", "0"}, true, -1, 0, 0},
        {{"--headless", "--tick0", "4294967295"}, true, -1, 0, 4294967295u},
        {{"--headless", "--tick0", "4294967296"}, false},
        {{"--headless", "--tick0", "-1"}, false},
        {{"--headless", "--time", "0"}, true, -1, 0, 0, 0},
        {{"--headless", "--time", "4294967295"}, true, -1, 0, 0, 4294967295LL},
        {{"--headless", "--time", "4294967296"}, false},
        {{"--frames", "5"}, false},
        {{"--script", "s.txt"}, false},
        {{"--audio-out", "a.wav"}, false},
        {{"--autoplay"}, false},
        {{"--headless", "--trace", ""}, false},
        {{"--headless", "--frobnicate"}, false},
        {.args = {"--pad-speed", "250", "--pad-dead-zone", "0", "--pad-precision", "10"}, .taken = true, .pad = {250, 0, 10}},
        {.args = {"--pad-speed", "1500", "--pad-dead-zone", "30", "--pad-precision", "100"}, .taken = true,
         .pad = {1500, 30, 100}},
        {.args = {"--headless", "--pad-speed", "700"}, .taken = true, .pad = {700, 8, 33}},  // as the page passes them
        {{"--pad-speed", "249"}, false},
        {{"--pad-speed", "1501"}, false},
        {{"--pad-speed", "fast"}, false},
        {{"--pad-speed"}, false},
        {{"--pad-dead-zone", "-1"}, false},
        {{"--pad-dead-zone", "31"}, false},
        {{"--pad-dead-zone", "8%"}, false},
        {{"--pad-precision", "9"}, false},
        {{"--pad-precision", "101"}, false},
        {{"--verify", "r.zrp", "--pad-speed", "700"}, false},
        {{"--replays"}, true},
        {{"--replays", "--headless"}, false},
        {{"--window", "--replays"}, false},
        {{"--replays", "replays/last.zrp"}, false},
        {{"--history"}, true},
        {{"--history", "10", "NORMAL"}, true},
        {{"--history", "10"}, false},
        {{"--history", "10", "2", "--headless"}, false},
        {{"--window", "--virtual-pad", "pad.txt"}, true},
        {{"--headless", "--virtual-pad", "pad.txt"}, false},
        {{"--virtual-pad", ""}, false},
        {{"--room", "http://h:1/rooms/a", "--name", "Ann"}, true},
        {{"--headless", "--room", "http://h:1/rooms/a", "--name", "Ann", "--key", "zk-1"}, true},
        {{"--room", "http://h:1/rooms/a"}, false},
        {{"--name", "Ann"}, false},
        {{"--key", "zk-1"}, false},
        {{"--room", "", "--name", "Ann"}, false},
        {{"--room", "http://h:1/rooms/a", "--name", "Ann", "--race", "r.zrp"}, false},
        {{"--headless", "--room", "http://h:1/rooms/a", "--name", "Ann", "--autoplay"}, false},
        {{"--room", "http://h:1/rooms/a", "--name", "Ann", "--replay", "r.zrp"}, false},
        {{"--verify", "r.zrp", "--room", "http://h:1/rooms/a", "--name", "Ann"}, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        Options o;
        std::string error;
        const int rc = Parse(c.args, &o, &error);
        if (!c.taken) {
            EXPECT_EQ(rc, 2);
            EXPECT_FALSE(error.empty());
            EXPECT_EQ(error.find('\n'), std::string::npos) << "one line";
            continue;
        }
        ASSERT_EQ(rc, 0) << error;
        EXPECT_EQ(o.frames, c.frames);
        EXPECT_EQ(o.scale, c.scale);
        EXPECT_EQ(o.tick0, c.tick0);
        EXPECT_EQ(o.time, c.time);
        EXPECT_TRUE(o.pad == c.pad)
            << o.pad.speed << " " << o.pad.deadZone << " " << o.pad.precision;
        EXPECT_EQ(o.padSpeedGiven, c.pad.speed != PadSettings{}.speed);
    }
}

std::string ReadSource(const char* path) {
    std::ifstream in(std::string(ZUMBLE_SOURCE_DIR) + "/" + path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Each option of the table is in --help (which prints the table), in README.md and in the
// manual page, whose roff writes a hyphen as \-.
TEST(CommandLine, EveryOptionIsDocumented) {
    const std::string readme = ReadSource("README.md");
    std::string manual = ReadSource("packaging/zumble.6.in");
    ASSERT_FALSE(readme.empty());
    ASSERT_FALSE(manual.empty());
    for (std::size_t at; (at = manual.find("\\-")) != std::string::npos;) manual.erase(at, 1);
    testing::internal::CaptureStdout();
    Options o;
    std::string error;
    EXPECT_EQ(Parse({"--help"}, &o, &error), 1);
    const std::string help = testing::internal::GetCapturedStdout();
    std::size_t count = 0;
    const OptionRow* rows = OptionRows(&count);
    ASSERT_GT(count, 20u);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string name = rows[i].name;
        // The name as a word of its own: --clip is not found inside --clip-scale.
        auto named = [&](const std::string& text) {
            for (std::size_t at = text.find(name); at != std::string::npos;
                 at = text.find(name, at + 1)) {
                const char after = at + name.size() < text.size() ? text[at + name.size()] : ' ';
                if (after != '-' && !std::isalnum(static_cast<unsigned char>(after))) return true;
            }
            return false;
        };
        EXPECT_TRUE(named(help)) << name << " is not in --help";
        EXPECT_TRUE(named(readme)) << name << " is not in README.md";
        EXPECT_TRUE(named(manual)) << name << " is not in the manual page";
    }
}

TEST(CommandLine, ScriptLinesAtTheirBounds) {
    struct Case {
        const char* text;
        int errorLine;  // 0: taken
        // For a taken script: its one event.
        long long frame = 0;
        ScriptVerb verb = ScriptVerb::Close;
        int x = 0, y = 0;
        unsigned key = 0;
        const char* file = "";
    };
    // clang-format off
    const Case cases[] = {
        {"0 move 0 0", 0, 0, ScriptVerb::Move, 0, 0},
        {"7 move 639 479", 0, 7, ScriptVerb::Move, 639, 479},
        {"1 move 640 0", 1},
        {"1 move 0 480", 1},
        {"1 move -1 0", 1},
        {"1 move 5", 1},
        {"5 click", 0, 5, ScriptVerb::Click},
        {"5 click 3", 1},
        {"5 down", 0, 5, ScriptVerb::Down},
        {"5 down 1", 1},
        {"5 up", 0, 5, ScriptVerb::Up},
        {"5 key return", 0, 5, ScriptVerb::Key, 0, 0, VK_RETURN},
        {"5 key space", 0, 5, ScriptVerb::Key, 0, 0, VK_SPACE},
        {"5 key escape", 0, 5, ScriptVerb::Key, 0, 0, VK_ESCAPE},
        {"5 key r", 0, 5, ScriptVerb::Key, 0, 0, 'R'},
        {"5 key tab", 1},
        {"5 key", 1},
        {"5 activate", 0, 5, ScriptVerb::Activate},
        {"5 deactivate", 0, 5, ScriptVerb::Deactivate},
        {"5 lose-surfaces", 0, 5, ScriptVerb::LoseSurfaces},
        {"5 close", 0, 5, ScriptVerb::Close},
        {"5 shot a.png", 0, 5, ScriptVerb::Shot, 0, 0, 0, "a.png"},
        {"5 shot", 1},
        {"5 shot a.png b.png", 1},
        {"1000000000000 close", 0, 1000000000000LL, ScriptVerb::Close},
        {"1000000000001 close", 1},
        {"-1 close", 1},
        {"x close", 1},
        {"5", 1},
        {"5 clik", 1},
        {"# a comment\n\n  9 close # the end\n", 0, 9, ScriptVerb::Close},
        {"9 close\n3 close", 2},
        {"3 down\n3 up\n\n2 close", 4},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<ScriptEvent> events;
        std::string error;
        const bool taken = ParseScript(c.text, &events, &error);
        if (c.errorLine != 0) {
            EXPECT_FALSE(taken);
            EXPECT_EQ(error.rfind("script line " + std::to_string(c.errorLine) + ": ", 0), 0u)
                << error;
            continue;
        }
        ASSERT_TRUE(taken) << error;
        ASSERT_EQ(events.size(), 1u);
        const ScriptEvent& ev = events[0];
        EXPECT_EQ(ev.frame, c.frame);
        EXPECT_EQ(ev.verb, c.verb);
        EXPECT_EQ(ev.x, c.x);
        EXPECT_EQ(ev.y, c.y);
        EXPECT_EQ(ev.key, c.key);
        EXPECT_EQ(ev.file, c.file);
    }
    // Frames may repeat; the events keep their order.
    std::vector<ScriptEvent> events;
    std::string error;
    ASSERT_TRUE(ParseScript("3 down\n3 up\n", &events, &error)) << error;
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].verb, ScriptVerb::Down);
    EXPECT_EQ(events[1].verb, ScriptVerb::Up);
}

}  // namespace
