// Splits against a reference round: the delta at a count, the reference's count at a
// clock, the delta's words and colour, and what the results board says.
#include "replay/core/split_times.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A reference of five counts; its third click swatted two flies at once.
const std::uint32_t kReference[] = {1200, 2500, 4000, 4000, 6100};
constexpr int kCounts = 5;

struct Row {
    const char* what;
    int count;              // the round's count ...
    std::uint32_t clockMs;  // ... reached at this clock
    bool known;             // the reference reached that count
    const char* delta;      // SplitDeltaText of the delta
    int tone;               // -1 ahead, 1 behind, 0 level
    int referenceCount;     // SplitCountAt(clockMs)
};

struct Board {
    const char* what;
    SplitResult result;
    std::string lines;  // joined by '|'
};

TEST(SplitTimes, DeltaCountAndWordsOfEveryCase) {
    // clang-format off
    const Row rows[] = {
        {"ahead at the first swat", 1, 780, true, "-0.42", -1, 0},
        {"behind by 1.20", 2, 3700, true, "+1.20", 1, 2},
        {"level", 3, 4000, true, "0.00", 0, 4},
        {"4 ms ahead reads level", 1, 1196, true, "0.00", 0, 0},
        {"5 ms behind rounds up", 1, 1205, true, "+0.01", 1, 1},
        {"a double swat: the same time for both counts", 4, 3990, true, "-0.01", -1, 2},
        {"the last count", 5, 6100, true, "0.00", 0, 5},
        {"a minute behind", 5, 66100, true, "+60.00", 1, 5},
        {"beyond the reference's counts", 6, 7000, false, "", 0, 5},
        {"no count yet", 0, 0, false, "", 0, 0},
        {"the reference's time exactly counts its swat", 2, 2500, true, "0.00", 0, 2},
    };
    // clang-format on
    for (const Row& r : rows) {
        std::int64_t delta = 0;
        EXPECT_EQ(SplitDeltaAt(kReference, kCounts, r.count, r.clockMs, &delta), r.known) << r.what;
        if (r.known) {
            char text[kSplitsTextSize];
            EXPECT_EQ(SplitDeltaText(delta, text, sizeof text), r.tone) << r.what;
            EXPECT_STREQ(text, r.delta) << r.what;
        }
        EXPECT_EQ(SplitCountAt(kReference, kCounts, r.clockMs), r.referenceCount) << r.what;
    }

    // clang-format off
    const Board boards[] = {
        {"a new best",
         {10, 2, 12345, true, 12765, 0, nullptr, 0},
         "10 flies, NORMAL   0:12.345|new best: -0.42 on the old best 0:12.765|in the table at place 1 of 5"},
        {"slower, third in the table",
         {30, 4, 75000, true, 73800, 2, nullptr, 0},
         "30 flies, CRAZY   1:15.000|+1.20 on the best 1:13.800|in the table at place 3 of 5"},
        {"the mode's first time",
         {1000, 1, 3599998, false, 0, 0, nullptr, 0},
         "1000 flies, SLOW   59:59.998|new best: the mode's first time|in the table at place 1 of 5"},
        {"out of the table, against a raced run",
         {100, 3, 60000, true, 50000, -1, "ada", 61500},
         "100 flies, FAST   1:00.000|+10.00 on the best 0:50.000|not among the five best|race: -1.50 on ada (1:01.500)"},
        {"level with the best",
         {10, 1, 9000, true, 9000, 1, nullptr, 0},
         "10 flies, SLOW   0:09.000|0.00 on the best 0:09.000|in the table at place 2 of 5"},
        {"raced, its pace changed: five lines",
         {10, 2, 8000, true, 9000, 0, "bo", 8500, true},
         "10 flies, NORMAL   0:08.000|new best: -1.00 on the old best 0:09.000|in the table at place 1 of 5|race: -0.50 on bo (0:08.500)|pace changed with Enter or Space mid-round"},
    };
    // clang-format on
    for (const Board& b : boards) {
        char lines[kSplitResultLines][kSplitsTextSize];
        const int n = SplitResultLines(b.result, lines);
        std::string joined;
        for (int i = 0; i < n; ++i) joined += (i ? "|" : "") + std::string(lines[i]);
        EXPECT_EQ(joined, b.lines) << b.what;
    }
}

}  // namespace
