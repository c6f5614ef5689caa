#include "scenes/best_times.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/core/files.h"
#include "platform/core/save_file.h"
#include "scenes/play.h"
#include "shell/globals.h"

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

}  // namespace

void ResetBestTimes() {
    for (auto& row : BestTimes)
        for (int& t : row) t = DEFAULT_BEST_TIME;
}

void LoadBestTimes() {
    std::FILE* file = OpenGamePath(kFileName, "rb");
    if (file == nullptr) {
        ResetBestTimes();
        return;
    }

    unsigned char header[kHeaderSize];
    // The size field at offset 4 is not looked at.
    if (std::fread(header, 1, kHeaderSize, file) != kHeaderSize ||
        std::memcmp(header, kMagic, sizeof kMagic) != 0 || ReadLE32(header + 8) != kVersion) {
        std::fclose(file);
        ResetBestTimes();
        return;
    }

    unsigned char times[kTimesSize];
    std::size_t got = std::fread(times, 1, kTimesSize, file);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);

    // A short file keeps the whole entries it holds; the rest take the default.
    ResetBestTimes();
    if (failed) return;
    int whole = static_cast<int>(got / 4);
    for (int i = 0; i < whole; ++i)
        *Entry(i) = static_cast<int>(ReadLE32(times + 4 * i));
}

bool RecordBestTime(int elapsed) {
    int* row = BestTimes[SpeedSetting + 4 * FlyCountSetting];

    int place = 99;  // not placed
    for (int k = 0; k < 5; ++k) {
        if (elapsed < row[k]) {
            place = k;
            break;
        }
    }
    if (place < 4)
        for (int k = 4; k > place; --k) row[k] = row[k - 1];
    if (place >= 0 && place <= 4) row[place] = elapsed;

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
    unsigned char image[kHeaderSize + kTimesSize];
    std::memcpy(image, kMagic, sizeof kMagic);
    WriteLE32(image + 4, kFileSize);
    WriteLE32(image + 8, kVersion);
    for (int i = 0; i < kEntries; ++i)
        WriteLE32(image + kHeaderSize + 4 * i, static_cast<std::uint32_t>(*Entry(i)));

    // The table stays in memory when it cannot be saved; nothing to tell the player.
    SaveFileReplacing(kFileName, kTempName, image, sizeof image);
}
