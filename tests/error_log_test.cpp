#include "shell/error_log.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/game_fixture.h"

namespace {

std::string Written(ErrorLog& log) {
    const std::string path = MakeTempDir() + "/error.txt";
    log.WriteTo(path.c_str());
    return ReadFileBytes(path);
}

const std::string kHead =
    "******************************\r\n"
    "  Error File Write  Ver1.0    \r\n";

// The first ten lines, byte for byte (181 bytes); line 3 is ours to choose, 30 characters.
const std::string kBanner =
    "******************************\r\n"
    "  Error File Write  Ver1.0    \r\n"
    "     Zumble error report      \r\n"
    "******************************\r\n"
    "\r\n\r\n\r\n"
    "Write Start\r\n"
    "------------------------------\r\n"
    "\r\n";

}  // namespace

TEST(ErrorLog, WholeFilesByteForByte) {
    ASSERT_EQ(kBanner.size(), 181u);
    auto empty = std::make_unique<ErrorLog>(0);
    EXPECT_EQ(Written(*empty),
              kBanner + "\r\nNot Erorr\r\n------------------------------\r\nWrite End\r\n");
    auto two = std::make_unique<ErrorLog>(0);
    two->Add("ERROR_1", 7);
    two->Add("ERROR_16", 8);
    EXPECT_EQ(
        Written(*two),
        kBanner + "ERROR_1\r\nERROR_16\r\n\r\n------------------------------\r\nWrite End\r\n");
    auto noSeparators = std::make_unique<ErrorLog>(2);
    noSeparators->Add("ERROR_1", 7);
    noSeparators->Add("ERROR_16", 8);
    EXPECT_EQ(Written(*noSeparators),
              kBanner + "ERROR_1ERROR_16\r\n------------------------------\r\nWrite End\r\n");
}

TEST(ErrorLog, EmptyLogIsTheBannerWithNotErorr) {
    auto log = std::make_unique<ErrorLog>(0);
    const std::string file = Written(*log);
    ASSERT_EQ(file.size(), 237u);
    EXPECT_EQ(file.substr(0, kHead.size()), kHead);
    EXPECT_EQ(file.substr(96, 32), "******************************\r\n");
    EXPECT_EQ(file.substr(128, 6 + 13 + 32 + 2),
              "\r\n\r\n\r\nWrite Start\r\n------------------------------\r\n\r\n");
    EXPECT_EQ(file.substr(181), "\r\nNot Erorr\r\n------------------------------\r\nWrite End\r\n");
    // The third banner line (ours) is 30 characters and a line break, like the others.
    EXPECT_EQ(file.substr(64, 32), "     Zumble error report      \r\n");
}

TEST(ErrorLog, TwoMessagesMake245Bytes) {
    auto log = std::make_unique<ErrorLog>(0);
    EXPECT_EQ(log->Add("ERROR_1", 7), 1);
    EXPECT_EQ(log->Add("ERROR_16", 8), 1);
    const std::string file = Written(*log);
    ASSERT_EQ(file.size(), 245u);
    EXPECT_EQ(file.substr(181),
              "ERROR_1\r\nERROR_16\r\n\r\n------------------------------\r\nWrite End\r\n");
}

TEST(ErrorLog, FlagsTurnOffBannerAndSeparators) {
    auto noBanner = std::make_unique<ErrorLog>(1);
    noBanner->Add("ERROR_3", 7);
    noBanner->Add("ERROR_12", 8);
    EXPECT_EQ(Written(*noBanner), "ERROR_3\r\nERROR_12\r\n");

    auto noSeparators = std::make_unique<ErrorLog>(2);
    noSeparators->Add("ERROR_3", 7);
    noSeparators->Add("ERROR_12", 8);
    const std::string file = Written(*noSeparators);
    EXPECT_EQ(file.size(), 181u + 15u + 45u);
    EXPECT_NE(file.find("\r\n\r\nERROR_3ERROR_12\r\n-----"), std::string::npos);

    auto bare = std::make_unique<ErrorLog>(3);
    EXPECT_EQ(Written(*bare), "");
    bare->Add("ERROR_1", 7);
    bare->Add("ERROR_2", 7);
    EXPECT_EQ(Written(*bare), "ERROR_1ERROR_2");
}

TEST(ErrorLog, The257thMessageIsDropped) {
    auto log = std::make_unique<ErrorLog>(1);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(log->Add("ERROR_5", 7), 1) << i;
    EXPECT_EQ(log->Add("ERROR_9", 7), 0);
    const std::string file = Written(*log);
    EXPECT_EQ(file.size(), 256u * 9u);
    EXPECT_EQ(file.find("ERROR_9"), std::string::npos);
}

TEST(ErrorLog, OverlongMessageIsCutNotOverrun) {
    auto log = std::make_unique<ErrorLog>(3);
    const std::string longText(300, 'x');
    EXPECT_EQ(log->Add(longText.c_str(), 300), 1);
    EXPECT_EQ(Written(*log), std::string(127, 'x'));
}
