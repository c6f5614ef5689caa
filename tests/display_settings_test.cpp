// The file that keeps how the desktop game was shown: what it reads as settings and what
// it refuses (the game then starts with its defaults), and that what it writes reads back.
#include "platform/services/display_settings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
    const char* what;
    std::string text;
    bool taken;
    bool fullscreen;
    int scale;
    PadSettings pad = {};
};

TEST(DisplaySettings, ReadsWhatItWroteAndRefusesAnythingOdd) {
    // clang-format off
    const Case cases[] = {
        {"a window at 2x", "display=window\nscale=2\n", true, false, 2},
        {"full screen, no scale kept", "display=fullscreen\n", true, true, 0},
        {"comments, blank lines, CRLF, no last newline", "# x\r\n\r\nscale=16\r\ndisplay=window", true, false, 16},
        {"empty", "", false, true, 0},
        {"scale without display", "scale=2\n", false, true, 0},
        {"unknown display", "display=big\nscale=2\n", false, true, 0},
        {"scale 0", "display=window\nscale=0\n", false, true, 0},
        {"scale 17", "display=window\nscale=17\n", false, true, 0},
        {"scale not a number", "display=window\nscale=2x\n", false, true, 0},
        {"scale signed", "display=window\nscale=+2\n", false, true, 0},
        {"scale very long", "display=window\nscale=0000000000002\n", false, true, 0},
        {"a key twice", "display=window\ndisplay=fullscreen\n", false, true, 0},
        {"an unknown key", "display=window\nsize=2\n", false, true, 0},
        {"a line without =", "display=window\nwindow\n", false, true, 0},
        {"a zero byte", std::string("display=window\n\0scale=2\n", 24), false, true, 0},
        {"binary junk", "\x89PNG\r\n\x1a\n", false, true, 0},
        {"too long", "display=window\n" + std::string(600, '#') + "\n", false, true, 0},
        {"the pad's settings", "display=window\npad-speed=1500\npad-dead-zone=0\npad-precision=100\n", true, false, 0,
         {1500, 0, 100}},
        {"the pad's lowest", "pad-precision=10\npad-speed=250\ndisplay=fullscreen\npad-dead-zone=30\n", true, true, 0,
         {250, 30, 10}},
        {"one of the pad's settings", "display=window\npad-dead-zone=12\n", true, false, 0, {600, 12, 33}},
        {"pad speed too slow", "display=window\npad-speed=249\n", false, true, 0},
        {"pad speed too fast", "display=window\npad-speed=1501\n", false, true, 0},
        {"pad speed five digits", "display=window\npad-speed=00600\n", false, true, 0},
        {"dead zone beyond 30", "display=window\npad-dead-zone=31\n", false, true, 0},
        {"dead zone as a fraction", "display=window\npad-dead-zone=0.08\n", false, true, 0},
        {"precision below 10", "display=window\npad-precision=9\n", false, true, 0},
        {"precision empty", "display=window\npad-precision=\n", false, true, 0},
        {"pad speed twice", "display=window\npad-speed=700\npad-speed=700\n", false, true, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        DisplaySettings s;
        s.fullscreen = true;
        s.scale = 0;
        EXPECT_EQ(ParseDisplaySettings(c.text.data(), c.text.size(), &s), c.taken) << c.what;
        EXPECT_EQ(s.fullscreen, c.fullscreen) << c.what;
        EXPECT_EQ(s.scale, c.scale) << c.what;
        EXPECT_TRUE(s.pad == c.pad)
            << c.what << ": " << s.pad.speed << " " << s.pad.deadZone << " " << s.pad.precision;
    }
}

TEST(DisplaySettings, WhatIsWrittenReadsBack) {
    for (const bool fullscreen : {false, true}) {
        for (const int scale : {0, 1, 2, 9, 16}) {
            DisplaySettings s;
            s.fullscreen = fullscreen;
            s.scale = scale;
            // The pad's lines only where they differ from the defaults, in every mix.
            s.pad = scale == 0 ? PadSettings{} : PadSettings{250 + 50 * scale, scale, 10 + scale};
            char text[256];
            const std::size_t size = FormatDisplaySettings(s, text, sizeof text);
            ASSERT_GT(size, 0u);
            DisplaySettings back;
            back.fullscreen = !fullscreen;
            ASSERT_TRUE(ParseDisplaySettings(text, size, &back)) << std::string(text, size);
            EXPECT_EQ(back.fullscreen, fullscreen);
            EXPECT_EQ(back.scale, scale);
            EXPECT_TRUE(back.pad == s.pad);
            EXPECT_EQ(std::string(text, size).find("pad-") == std::string::npos, scale == 0);
        }
    }
    char small[8];
    EXPECT_EQ(FormatDisplaySettings(DisplaySettings{}, small, sizeof small), 0u);
}

}  // namespace
