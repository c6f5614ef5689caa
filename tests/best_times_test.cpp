// The best-times table and "hiscoa.sav": ranking, the results board, and the file's bytes.
#include "scenes/best_times.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>

#include "scenes/play.h"
#include "shell/globals.h"
#include "tests/support/game_fixture.h"

namespace {

std::string LE32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
    return s;
}

std::uint32_t At(const std::string& bytes, std::size_t offset) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[offset + i]);
    return v;
}

std::string Header(std::uint32_t size = 332, std::uint32_t version = 1) {
    return "ZUSV" + LE32(size) + LE32(version);
}

// A table whose every entry is told apart by its place in the file.
std::string NumberedTimes(int entries) {
    std::string s;
    for (int i = 0; i < entries; ++i) s += LE32(static_cast<std::uint32_t>(1000 + i));
    return s;
}

class BestTimesTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = MakeTempDir();
        ASSERT_EQ(chdir(dir.c_str()), 0);
        FlyCountSetting = 0;
        SpeedSetting = 0;
        ResetBestTimes();
    }
    void TearDown() override {
        FlyCountSetting = 1;
        SpeedSetting = 1;
    }
    void SetRow(int r, int a, int b, int c, int d, int e) {
        int values[5] = {a, b, c, d, e};
        for (int k = 0; k < 5; ++k) BestTimes[r][k] = values[k];
    }
    void ExpectRow(int r, int a, int b, int c, int d, int e) {
        int values[5] = {a, b, c, d, e};
        for (int k = 0; k < 5; ++k) EXPECT_EQ(BestTimes[r][k], values[k]) << "place " << k;
    }
    void ExpectBoardRow(int k, int minutes, int seconds, int millis) {
        EXPECT_EQ(BoardMinutes[k], minutes) << "row " << k;
        EXPECT_EQ(BoardSeconds[k], seconds) << "row " << k;
        EXPECT_EQ(BoardMillis[k], millis) << "row " << k;
    }
    void ExpectAllDefault() {
        for (int r = 0; r < 16; ++r)
            for (int k = 0; k < 5; ++k) ASSERT_EQ(BestTimes[r][k], DEFAULT_BEST_TIME);
    }

    std::string dir;
};

TEST_F(BestTimesTest, FirstClearInAFreshTable) {
    RecordBestTime(45000);
    ExpectRow(0, 45000, DEFAULT_BEST_TIME, DEFAULT_BEST_TIME, DEFAULT_BEST_TIME, DEFAULT_BEST_TIME);
    ExpectBoardRow(0, 0, 45, 0);
    for (int k = 1; k < 5; ++k) ExpectBoardRow(k, 59, 59, 999);
}

TEST_F(BestTimesTest, RankingWithinTheRow) {
    // The answer says whether the time got in: the round then saves the table at once.
    SetRow(0, 100, 200, 300, 400, 500);
    EXPECT_TRUE(RecordBestTime(50));  // a new best pushes the rest down, the fifth drops out
    ExpectRow(0, 50, 100, 200, 300, 400);
    EXPECT_TRUE(RecordBestTime(200));  // a tie keeps the row in order
    ExpectRow(0, 50, 100, 200, 200, 300);
    EXPECT_FALSE(RecordBestTime(301));
    ExpectRow(0, 50, 100, 200, 200, 300);  // not below the fifth: not placed
    EXPECT_FALSE(RecordBestTime(300));
    ExpectRow(0, 50, 100, 200, 200, 300);  // equal to the fifth: not placed
    EXPECT_TRUE(RecordBestTime(299));
    ExpectRow(0, 50, 100, 200, 200, 299);
    // The board shows the whole row whether the time got in or not.
    SetRow(0, 61001, 3599999, 3599999, 3599999, 3599999);
    EXPECT_FALSE(RecordBestTime(3599999));
    ExpectBoardRow(0, 1, 1, 1);
    ExpectBoardRow(4, 59, 59, 999);
}

TEST_F(BestTimesTest, RowsAreIndependentAndLandAtTheirOffsets) {
    SaveBestTimes();
    std::string before = ReadFileBytes("hiscoa.sav");
    ASSERT_EQ(before.size(), 332u);

    FlyCountSetting = 2;
    SpeedSetting = 1;
    RecordBestTime(12345);
    for (int r = 0; r < 16; ++r)
        if (r != 9) ExpectRow(r, 3599999, 3599999, 3599999, 3599999, 3599999);
    EXPECT_EQ(BestTimes[9][0], 12345);

    SaveBestTimes();
    std::string after = ReadFileBytes("hiscoa.sav");
    ASSERT_EQ(after.size(), 332u);
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (i < 192 || i >= 212) {
            ASSERT_EQ(after[i], before[i]) << "offset " << i;
        }
    }
    EXPECT_EQ(At(after, 192), 12345u);
    EXPECT_EQ(At(after, 196), 3599999u);
}

TEST_F(BestTimesTest, FileBytesAndRoundTrip) {
    // Values whose bytes hold 10 (and 13) must come back untranslated.
    for (int r = 0; r < 16; ++r)
        for (int k = 0; k < 5; ++k) BestTimes[r][k] = 0x0A0A0A0A - 0x0D00 * (r * 5 + k);
    BestTimes[3][2] = 10;
    BestTimes[4][0] = -1;
    SaveBestTimes();
    std::string bytes = ReadFileBytes("hiscoa.sav");
    ASSERT_EQ(bytes.size(), 332u);
    EXPECT_EQ(bytes.substr(0, 4), "ZUSV");
    EXPECT_EQ(At(bytes, 4), 332u);
    EXPECT_EQ(At(bytes, 8), 1u);
    EXPECT_EQ(At(bytes, 12 + 4 * (5 * 3 + 2)), 10u);
    EXPECT_EQ(At(bytes, 12 + 4 * 20), 0xFFFFFFFFu);
    EXPECT_FALSE(std::filesystem::exists("hiscoa.sav.tmp"));

    int saved[16][5];
    std::copy(&BestTimes[0][0], &BestTimes[0][0] + 80, &saved[0][0]);
    ResetBestTimes();
    LoadBestTimes();
    for (int r = 0; r < 16; ++r)
        for (int k = 0; k < 5; ++k) EXPECT_EQ(BestTimes[r][k], saved[r][k]);
}

TEST_F(BestTimesTest, BadFilesGiveTheDefaults) {
    auto loads_defaults = [&](const std::string& bytes) {
        WriteFileBytes("hiscoa.sav", bytes);
        SetRow(0, 1, 2, 3, 4, 5);
        LoadBestTimes();
        ExpectAllDefault();
    };
    std::filesystem::remove("hiscoa.sav");
    SetRow(0, 1, 2, 3, 4, 5);
    LoadBestTimes();
    ExpectAllDefault();

    loads_defaults("");
    loads_defaults("ZUSV" + LE32(332));  // header cut short
    loads_defaults("ZUSX" + LE32(332) + LE32(1) + NumberedTimes(80));
    loads_defaults(Header(332, 2) + NumberedTimes(80));
    loads_defaults(Header(332, 0x100) + NumberedTimes(80));

    // A directory in the file's place reads as no file.
    std::filesystem::remove("hiscoa.sav");
    std::filesystem::create_directory("hiscoa.sav");
    SetRow(0, 1, 2, 3, 4, 5);
    LoadBestTimes();
    ExpectAllDefault();

    // So does a pipe, which is not waited on.
    std::filesystem::remove("hiscoa.sav");
    ASSERT_EQ(mkfifo("hiscoa.sav", 0644), 0);
    SetRow(0, 1, 2, 3, 4, 5);
    LoadBestTimes();
    ExpectAllDefault();
}

TEST_F(BestTimesTest, SizeFieldIsNotExamined) {
    WriteFileBytes("hiscoa.sav", Header(0xDEADBEEF) + NumberedTimes(80));
    LoadBestTimes();
    EXPECT_EQ(BestTimes[0][0], 1000);
    EXPECT_EQ(BestTimes[15][4], 1079);
}

TEST_F(BestTimesTest, ShortFileKeepsTheEntriesItHolds) {
    // Three whole entries and half of a fourth.
    WriteFileBytes("hiscoa.sav", Header() + NumberedTimes(3) + LE32(7).substr(0, 2));
    LoadBestTimes();
    ExpectRow(0, 1000, 1001, 1002, DEFAULT_BEST_TIME, DEFAULT_BEST_TIME);
    for (int r = 1; r < 16; ++r) ExpectRow(r, 3599999, 3599999, 3599999, 3599999, 3599999);

    WriteFileBytes("hiscoa.sav", Header());
    LoadBestTimes();
    ExpectAllDefault();

    // Bytes after the table are ignored.
    WriteFileBytes("hiscoa.sav", Header() + NumberedTimes(81));
    LoadBestTimes();
    EXPECT_EQ(BestTimes[15][4], 1079);
}

TEST_F(BestTimesTest, FailedSaveLeavesTheOldFileWhole) {
    std::string old = Header() + NumberedTimes(80);
    WriteFileBytes("hiscoa.sav", old);
    RecordBestTime(1);

    // The disk fills up while the new table is being written (in a child whose files
    // may not grow past 100 bytes).
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
        SaveBestTimes();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadFileBytes("hiscoa.sav"), old);
    EXPECT_FALSE(std::filesystem::exists("hiscoa.sav.tmp"));

    // The temporary file cannot be created at all.
    std::filesystem::create_directory("hiscoa.sav.tmp");
    SaveBestTimes();
    EXPECT_EQ(ReadFileBytes("hiscoa.sav"), old);
    std::filesystem::remove("hiscoa.sav.tmp");

    // Once the disk is fine again the new table is written.
    SaveBestTimes();
    std::string now = ReadFileBytes("hiscoa.sav");
    ASSERT_EQ(now.size(), 332u);
    EXPECT_EQ(At(now, 12), 1u);
    EXPECT_FALSE(std::filesystem::exists("hiscoa.sav.tmp"));
}

TEST_F(BestTimesTest, UnwritableFileIsNotACrash) {
    std::filesystem::create_directory("hiscoa.sav");
    RecordBestTime(777);
    SaveBestTimes();
    EXPECT_TRUE(std::filesystem::is_directory("hiscoa.sav"));
    EXPECT_FALSE(std::filesystem::exists("hiscoa.sav.tmp"));
    EXPECT_EQ(BestTimes[0][0], 777);  // the table stays in memory
}

}  // namespace
