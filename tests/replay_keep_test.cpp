// The kept replays and the merged table when several copies of the game share a folder:
// replays follow the times they hold, a round's replay finds its entry wherever another
// copy moved it, and a save merges this copy's new times with what another saved.
#include "replay/replay_keep.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "replay/core/replay_format.h"
#include "scenes/best_times.h"
#include "shell/globals.h"
#include "tests/support/game_fixture.h"

namespace {

constexpr int D = DEFAULT_BEST_TIME;

std::string LE32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
    return s;
}

// A replay's header (and a few bytes of body) of ten flies at speed 1 (row 0): `round`
// tells rounds apart (its start tick), `time` is its time.
std::string Replay(std::uint32_t time, std::uint32_t round, int flies = 0) {
    std::string h(kReplayHeaderSize, '\0');
    h.replace(0, 4, "ZRPL");
    h[28] = static_cast<char>(flies);
    h.replace(40, 4, LE32(round));
    h.replace(48, 4, LE32(time));
    return h + "body";
}

std::string Name(int place) { return "replays/best-10-1-" + std::to_string(place + 1) + ".zrp"; }

// What each place's file holds, by its start tick: "-" for none, "?" for a file that is
// no replay.
std::string Places() {
    std::string out;
    for (int p = 0; p < 5; ++p) {
        if (!out.empty()) out += ' ';
        if (!std::filesystem::exists(Name(p))) {
            out += '-';
            continue;
        }
        const std::string bytes = ReadFileBytes(Name(p));
        if (bytes.size() < 64 || bytes.compare(0, 4, "ZRPL") != 0) {
            out += '?';
            continue;
        }
        out += std::to_string(static_cast<unsigned char>(bytes[40]));
    }
    return out;
}

void WriteTable(const int row0[5]) {
    std::string bytes = "ZUSV" + LE32(332) + LE32(1);
    for (int i = 0; i < 80; ++i) bytes += LE32(static_cast<std::uint32_t>(i < 5 ? row0[i] : D));
    WriteFileBytes("hiscoa.sav", bytes);
}

class ReplayKeepTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(chdir(MakeTempDir().c_str()), 0);
        std::filesystem::create_directory("replays");
        FlyCountSetting = 0;
        SpeedSetting = 0;
    }
    void TearDown() override {
        FlyCountSetting = 1;
        SpeedSetting = 1;
    }
    // Files at places 1..5: {time, round} pairs, time 0 for none.
    void Lay(const std::vector<std::pair<int, int>>& files) {
        for (int p = 0; p < 5; ++p) {
            std::filesystem::remove(Name(p));
            if (p < static_cast<int>(files.size()) && files[p].first)
                WriteFileBytes(Name(p), Replay(static_cast<std::uint32_t>(files[p].first),
                                               static_cast<std::uint32_t>(files[p].second)));
        }
    }
};

TEST_F(ReplayKeepTest, ReplaysFollowTheTimesTheyHold) {
    struct Case {
        const char* what;
        std::vector<std::pair<int, int>> files;
        int times[5];
        const char* after;
    };
    // clang-format off
    const Case cases[] = {
        {"a new first entry: all move down, the fifth goes, the first place has none",
         {{100, 1}, {200, 2}, {300, 3}, {400, 4}, {500, 5}}, {50, 100, 200, 300, 400}, "- 1 2 3 4"},
        {"a new third entry among two", {{100, 1}, {200, 2}}, {100, 200, 250, D, D}, "1 2 - - -"},
        {"two new entries above", {{100, 1}, {200, 2}, {300, 3}}, {10, 20, 100, 200, 300}, "- - 1 2 3"},
        {"equal times keep their places", {{100, 1}, {100, 2}}, {100, 100, 150, D, D}, "1 2 - - -"},
        {"a file of another time or no entry goes", {{100, 1}, {999, 2}, {300, 3}}, {100, 300, D, D, D}, "1 3 - - -"},
        {"a ring made by editing the table goes rather than stand for another time",
         {{100, 1}, {200, 2}}, {200, 100, D, D, D}, "- - - - -"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Lay(c.files);
        MoveKeptReplays(0, c.times);
        EXPECT_EQ(Places(), c.after);
    }
    // Files that are no replay of the row: not a replay, another mode's.
    Lay({{100, 1}});
    WriteFileBytes(Name(1), "not a replay");
    WriteFileBytes(Name(2), Replay(300, 3, /*flies=*/1));
    const int times[5] = {100, 200, 300, D, D};
    MoveKeptReplays(0, times);
    EXPECT_EQ(Places(), "1 - - - -");
}

TEST_F(ReplayKeepTest, ARoundsReplayFindsItsEntry) {
    // Its first save is at place 1; another copy's better time moved it to place 2.
    const int moved[5] = {80, 100, 200, D, D};
    WriteTable(moved);
    Lay({{80, 7}, {100, 1}, {200, 2}});
    const std::string whole = Replay(100, 1) + "and the rest of the round";
    KeepEntryReplay(reinterpret_cast<const std::uint8_t*>(whole.data()), whole.size());
    EXPECT_EQ(ReadFileBytes(Name(1)), whole);
    EXPECT_EQ(Places(), "7 1 2 - -");

    // No earlier save: the place of its time that has no replay of it.
    const int table[5] = {100, 150, 150, 200, D};
    WriteTable(table);
    Lay({{100, 1}, {150, 3}, {0, 0}, {200, 2}});
    const std::string other = Replay(150, 9);
    KeepEntryReplay(reinterpret_cast<const std::uint8_t*>(other.data()), other.size());
    EXPECT_EQ(Places(), "1 3 9 2 -");

    // A time that is not in the table (another copy's records pushed it off) keeps none.
    const std::string off = Replay(250, 4);
    KeepEntryReplay(reinterpret_cast<const std::uint8_t*>(off.data()), off.size());
    EXPECT_EQ(Places(), "1 3 9 2 -");
}

TEST_F(ReplayKeepTest, ASaveMergesWithWhatAnotherCopySaved) {
    const int none[5] = {D, D, D, D, D};
    WriteTable(none);
    LoadBestTimes();
    // Another copy saves a record, then this one sets its own.
    const int theirs[5] = {500, D, D, D, D};
    WriteTable(theirs);
    ASSERT_TRUE(RecordBestTime(700));
    // The first try cannot be saved: the table stays merged in memory, the file as it was.
    std::filesystem::create_directory("hiscoa.sav.tmp");
    SaveBestTimes();
    EXPECT_EQ(BestTimes[0][0], 500);
    EXPECT_EQ(BestTimes[0][1], 700);
    int stored[16][5];
    ASSERT_TRUE(ReadBestTimesFile(stored));
    EXPECT_EQ(stored[0][1], D);
    // The next save writes both, the other copy's once.
    std::filesystem::remove("hiscoa.sav.tmp");
    SaveBestTimes();
    ASSERT_TRUE(ReadBestTimesFile(stored));
    const int want[5] = {500, 700, D, D, D};
    for (int k = 0; k < 5; ++k) EXPECT_EQ(stored[0][k], want[k]) << "place " << k;

    // A time equal to another copy's goes below it, as one set here would; the other
    // copy's record that pushed this copy's last one off stays off.
    const int full[5] = {100, 200, 300, 400, 500};
    WriteTable(full);
    LoadBestTimes();
    const int better[5] = {50, 100, 200, 300, 400};
    WriteTable(better);
    ASSERT_TRUE(RecordBestTime(300));
    SaveBestTimes();
    ASSERT_TRUE(ReadBestTimesFile(stored));
    const int merged[5] = {50, 100, 200, 300, 300};
    for (int k = 0; k < 5; ++k) EXPECT_EQ(stored[0][k], merged[k]) << "place " << k;
    for (int k = 0; k < 5; ++k) EXPECT_EQ(BestTimes[0][k], merged[k]) << "place " << k;

    // The file gone or damaged: this copy's own table is written, as before.
    std::filesystem::remove("hiscoa.sav");
    SaveBestTimes();
    ASSERT_TRUE(ReadBestTimesFile(stored));
    for (int k = 0; k < 5; ++k) EXPECT_EQ(stored[0][k], merged[k]) << "place " << k;
}

}  // namespace
