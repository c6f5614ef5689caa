// The swat frames the verifier prints (replay/core/swat_frames.h): written and read back,
// what is not their writing refused, and the two-frame rule a board compares rounds by.
#include "replay/core/swat_frames.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

std::string Text(const std::vector<std::uint32_t>& frames) {
    return SwatFramesText(frames.data(), frames.size());
}

TEST(SwatFrames, WrittenAsStepsInBase64Digits) {
    EXPECT_EQ(Text({}), "-");
    EXPECT_EQ(Text({0}), "A");
    EXPECT_EQ(Text({5, 5, 6}), "FAB");     // a click that swats two flies: a step of 0
    EXPECT_EQ(Text({31}), "f");            // the most one digit holds
    EXPECT_EQ(Text({32}), "gB");           // 0 + 32 (more follows), then 1
    EXPECT_EQ(Text({1023, 1024}), "_fB");  // 1023 is 31 + 32 and 31: "_f"; a step of 1: "B"
    EXPECT_EQ(Text({0xFFFFFFFFu}), "______D");
}

TEST(SwatFrames, ReadBackWhateverTheFrames) {
    std::mt19937 rng(7);
    for (int round = 0; round < 500; ++round) {
        std::vector<std::uint32_t> frames(rng() % 1001);
        std::uint32_t at = rng() % 100;
        for (auto& f : frames) {
            // Mostly a few frames apart (one click swats several), now and then a long wait.
            at += rng() % 8 == 0 ? rng() % 5000 : rng() % 40;
            f = at;
        }
        std::vector<std::uint32_t> back{99};
        ASSERT_TRUE(ReadSwatFrames(Text(frames), 1000, &back)) << Text(frames);
        ASSERT_EQ(back, frames);
    }
    // A 1000-fly round of an hour, a swat every 216 frames: within the verifier's line.
    std::vector<std::uint32_t> slow(1000);
    for (std::size_t i = 0; i < slow.size(); ++i)
        slow[i] = static_cast<std::uint32_t>(216 * (i + 1));
    EXPECT_LE(Text(slow).size(), 2000u);
}

TEST(SwatFrames, OnlyTheirOwnWritingIsRead) {
    std::vector<std::uint32_t> frames{1, 2, 3};
    const char* const refused[] = {
        "",                // no token at all
        "A=B",             // not a digit
        "A B",             //
        "g",               // a number cut short
        "gA",              // 0 as a last digit after others: a longer writing of 0
        "_______D",        // over 32 bits in one number
        "______D______D",  // frames past 2^32 - 1
    };
    for (const char* text : refused) {
        EXPECT_FALSE(ReadSwatFrames(text, 1000, &frames)) << text;
        EXPECT_TRUE(frames.empty()) << text;
        frames = {1, 2, 3};
    }
    EXPECT_TRUE(ReadSwatFrames("AAA", 3, &frames));
    EXPECT_FALSE(ReadSwatFrames("AAAA", 3, &frames));  // more swats than the round has flies
    EXPECT_TRUE(ReadSwatFrames("-", 3, &frames));
    EXPECT_TRUE(frames.empty());
}

TEST(SwatFrames, WithinTwoFramesOfEachOther) {
    const std::vector<std::uint32_t> round{10, 20, 20, 35, 50};
    struct Case {
        std::vector<std::uint32_t> other;
        bool within;
        // clang-format off
    } cases[] = {
        {{10, 20, 20, 35, 50}, true},   // the same
        {{10, 20, 20, 35, 49}, true},   // the last a frame earlier
        {{8, 18, 22, 37, 52}, true},    // every swat two frames off
        {{10, 20, 20, 35, 47}, false},  // three frames
        {{10, 20, 20, 35}, false},      // a swat fewer
        {{10, 20, 20, 35, 50, 51}, false},
        {{}, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_EQ(SwatsWithin(round, c.other, 2), c.within) << Text(c.other);
        EXPECT_EQ(SwatsWithin(c.other, round, 2), c.within) << Text(c.other);
    }
}

}  // namespace
