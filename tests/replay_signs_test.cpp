// Signs of machine play show on machine-made input and not on a person's: made-up rounds
// fed to the signs as the verifier feeds them, and the steering rank's arithmetic.
#include "replay/core/replay_signs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

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
