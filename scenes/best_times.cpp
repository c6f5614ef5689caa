#include "scenes/best_times.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/services/files.h"
#include "platform/services/player_lock.h"
#include "platform/services/save_file.h"
#include "scenes/play.h"
#include "scenes/scene_globals.h"

int BestTimes[16][5] = {};

namespace {

constexpr const char* kFileName = "hiscoa.sav";
// Written first and renamed over the real file only when complete, so a failed or
// interrupted save never leaves a damaged table behind.
constexpr const char* kTempName = "hiscoa.sav.tmp";
constexpr char kMagic[4] = {'Z', 'U', 'S', 'V'};
constexpr std::uint32_t kFileSize = 332;
constexpr std::uint32_t kVersion = 1;
constexpr int kHeaderSize = 12;
constexpr int kEntries = 16 * 5;
constexpr int kTimesSize = kEntries * 4;

std::uint32_t ReadLE32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void WriteLE32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

int* Entry(int index) { return &BestTimes[index / 5][index % 5]; }

// The table as hiscoa.sav held it when this copy of the game last read or wrote it: what
// BestTimes holds beyond it are the times set here since.
int SavedTimes[16][5];

SavedRowFollower g_follower = nullptr;

// Puts a time into a row below the times it does not beat; its place, or 99 when it is
// not among the five.
int PutTime(int* row, int time) {
    int place = 99;  // not placed
    for (int k = 0; k < 5; ++k) {
        if (time < row[k]) {
            place = k;
            break;
        }
    }
    if (place < 4)
        for (int k = 4; k > place; --k) row[k] = row[k - 1];
    if (place >= 0 && place <= 4) row[place] = time;
    return place;
}

// Another copy of the game (a second window, another tab) may have saved since this one
// read the file: its times stay, and this copy's own new times go in among them, entry by
// entry, as each would have entered.
void MergeOwnTimes(int table[16][5]) {
    for (int r = 0; r < 16; ++r) {
        bool matched[5] = {};
        for (int k = 0; k < 5; ++k) {
            int j = 0;
            while (j < 5 && (matched[j] || SavedTimes[r][j] != BestTimes[r][k])) ++j;
            if (j < 5)
                matched[j] = true;
            else
                PutTime(table[r], BestTimes[r][k]);
        }
    }
}

}  // namespace

void SetSavedRowFollower(SavedRowFollower follower) { g_follower = follower; }

int PlaceOfTime(int row, const int before[5], unsigned time) {
    const int* now = BestTimes[row];
    int place = -1, times = 0, timesBefore = 0;
    for (int k = 0; k < 5; ++k) {
        if (static_cast<unsigned>(now[k]) == time && times++ == 0) place = k;
        if (static_cast<unsigned>(before[k]) == time) ++timesBefore;
    }
    return times > timesBefore ? place : -1;
}

void ResetBestTimes() {
    for (auto& row : BestTimes)
        for (int& t : row) t = DEFAULT_BEST_TIME;
}

int ReadBestTimesFile(int table[16][5]) {
    for (int r = 0; r < 16; ++r)
        for (int k = 0; k < 5; ++k) table[r][k] = DEFAULT_BEST_TIME;
    std::FILE* file = OpenGamePath(kFileName, "rb");
    if (file == nullptr) return 0;

    unsigned char header[kHeaderSize];
    // The size field at offset 4 is not looked at.
    if (std::fread(header, 1, kHeaderSize, file) != kHeaderSize ||
        std::memcmp(header, kMagic, sizeof kMagic) != 0 || ReadLE32(header + 8) != kVersion) {
        std::fclose(file);
        return 0;
    }

    unsigned char times[kTimesSize];
    std::size_t got = std::fread(times, 1, kTimesSize, file);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return 0;

    // A short file keeps the whole entries it holds; the rest take the default.
    int whole = static_cast<int>(got / 4);
    for (int i = 0; i < whole; ++i) table[i / 5][i % 5] = static_cast<int>(ReadLE32(times + 4 * i));
    return 1;
}

void LoadBestTimes() {
    ReadBestTimesFile(BestTimes);
    std::memcpy(SavedTimes, BestTimes, sizeof SavedTimes);
}

bool RecordBestTime(int elapsed) {
    int* row = BestTimes[SpeedSetting + 4 * FlyCountSetting];

    const int place = PutTime(row, elapsed);

    // The board shows the whole row, whether the new time got in or not.
    for (int k = 0; k < 5; ++k) {
        std::uint32_t t = static_cast<std::uint32_t>(row[k]);
        std::uint32_t seconds = t / 1000;
        BoardMinutes[k] = static_cast<std::uint16_t>(seconds / 60);
        BoardMillis[k] = static_cast<int>(t - 1000 * seconds);
        BoardSeconds[k] = static_cast<int>(seconds - 60u * BoardMinutes[k]);
    }
    return place <= 4;
}

void SaveBestTimes() {
    // One copy of the game at a time reads, merges and writes the table and moves its
    // replays, so that none writes over a record another has just saved.
    LockPlayerFiles();
    int stored[16][5], merged[16][5];
    if (ReadBestTimesFile(stored)) {
        std::memcpy(merged, stored, sizeof merged);
        MergeOwnTimes(merged);
        std::memcpy(SavedTimes, stored, sizeof SavedTimes);
        std::memcpy(BestTimes, merged, sizeof BestTimes);
    }

    unsigned char image[kHeaderSize + kTimesSize];
    std::memcpy(image, kMagic, sizeof kMagic);
    WriteLE32(image + 4, kFileSize);
    WriteLE32(image + 8, kVersion);
    for (int i = 0; i < kEntries; ++i)
        WriteLE32(image + kHeaderSize + 4 * i, static_cast<std::uint32_t>(*Entry(i)));

    // The table stays in memory when it cannot be saved; nothing to tell the player.
    if (SaveFileReplacing(kFileName, kTempName, image, sizeof image)) {
        // What follows the rows that changed (their replays) does so under the same lock.
        for (int r = 0; r < 16; ++r)
            if (g_follower && std::memcmp(SavedTimes[r], BestTimes[r], sizeof BestTimes[r]) != 0)
                g_follower(r, BestTimes[r]);
        std::memcpy(SavedTimes, BestTimes, sizeof SavedTimes);
    }
    UnlockPlayerFiles();
}
