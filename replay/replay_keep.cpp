#include "replay/replay_keep.h"

#include <cstdio>
#include <cstring>

#include "platform/services/files.h"
#include "platform/services/player_lock.h"
#include "platform/services/save_file.h"
#include "replay/core/replay_format.h"
#include "replay/replay_state.h"
#include "scenes/best_times.h"

namespace {

// What a kept file's header tells of it.
struct Kept {
    bool there = false;  // a file has the name
    bool ours = false;   // a replay of the row's mode
    std::uint32_t time = kReplayNoTime;
    std::uint8_t round[23] = {};  // the settings and bytes 32..51: which round it is
};

std::uint32_t Get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

int RowOf(const std::uint8_t* header) { return (header[29] & 3) + 4 * (header[28] & 3); }

// Mode, button and the round's start (calendar, flip, tick, cursor) and its time; not how
// it ended, which its first save, made while the round went on, cannot know.
void RoundOf(const std::uint8_t* header, std::uint8_t* round) {
    std::memcpy(round, header + 28, 3);
    std::memcpy(round + 3, header + 32, 20);
}

void Describe(const std::uint8_t* header, std::size_t size, int row, Kept* kept) {
    kept->there = true;
    kept->ours = size >= static_cast<std::size_t>(kReplayHeaderSize) &&
                 std::memcmp(header, kReplayMagic, sizeof kReplayMagic) == 0 && header[28] <= 3 &&
                 header[29] <= 3 && RowOf(header) == row;
    if (!kept->ours) return;
    kept->time = Get32(header + 48);
    RoundOf(header, kept->round);
}

// Only the header is read: no allocation, and a damaged body is --verify's to find.
void ReadKept(const char* name, int row, Kept* kept) {
    *kept = Kept{};
    std::FILE* file = OpenGamePath(name, "rb");
    if (!file) return;
    std::uint8_t header[kReplayHeaderSize];
    const std::size_t got = std::fread(header, 1, sizeof header, file);
    std::fclose(file);
    Describe(header, got, row, kept);
}

bool StandsFor(const Kept& kept, int time) {
    return kept.ours && time != DEFAULT_BEST_TIME && kept.time == static_cast<std::uint32_t>(time);
}

void EntryName(int row, int place, char* name, int size) {
    ReplayEntryName(row / 4, row % 4, place, name, size);
}

// Saved as safely as hiscoa.sav. A failure leaves the replay unsaved and changes nothing
// else; there is nothing to tell the player.
void SaveKept(const char* name, const std::uint8_t* bytes, std::size_t size) {
    char temp[80];
    std::snprintf(temp, sizeof temp, "%s.tmp", name);
    MakeGameFolder("replays");
    SaveFileReplacing(name, temp, bytes, size);
}

}  // namespace

void ReplayEntryName(int flySetting, int speedSetting, int place, char* out, int size) {
    std::snprintf(out, static_cast<std::size_t>(size), "replays\\best-%d-%d-%d.zrp",
                  FliesForSetting(flySetting), (speedSetting & 3) + 1, place + 1);
}

void MoveKeptReplays(int row, const int times[5]) {
    char names[5][64];
    Kept kept[5];
    for (int p = 0; p < 5; ++p) {
        EntryName(row, p, names[p], sizeof names[p]);
        ReadKept(names[p], row, &kept[p]);
    }
    // Where each file goes: it stays where its time still stands; the others go to a place
    // of their time that has no replay yet.
    int target[5] = {-1, -1, -1, -1, -1};
    bool placed[5] = {};
    for (int p = 0; p < 5; ++p)
        if (StandsFor(kept[p], times[p])) {
            target[p] = p;
            placed[p] = true;
        }
    for (int p = 0; p < 5; ++p) {
        for (int q = 0; q < 5 && target[p] < 0; ++q)
            if (!placed[q] && StandsFor(kept[p], times[q])) {
                target[p] = q;
                placed[q] = true;
            }
    }
    // holder[q]: the file now at place q that is still wanted, or -1.
    int holder[5];
    for (int p = 0; p < 5; ++p) {
        if (kept[p].there && target[p] < 0) RemoveGamePath(names[p]);
        holder[p] = kept[p].there && target[p] >= 0 ? p : -1;
    }
    // Each move goes into a place already emptied. Entries only move down the table, so
    // from the bottom up every move finds its place free; what still waits after that is
    // a ring of files (the table was edited by hand) and is removed rather than left in
    // a wrong place.
    for (bool moved = true; moved;) {
        moved = false;
        for (int q = 4; q >= 0; --q) {
            const int p = holder[q];
            if (p < 0 || target[p] == q || holder[target[p]] >= 0) continue;
            if (RenameGamePath(names[q], names[target[p]]) == 0)
                holder[target[p]] = p;
            else
                RemoveGamePath(names[q]);
            holder[q] = -1;
            moved = true;
        }
    }
    for (int q = 0; q < 5; ++q)
        if (holder[q] >= 0 && target[holder[q]] != q) RemoveGamePath(names[q]);
}

void KeepEntryReplay(const std::uint8_t* file, std::size_t size) {
    Kept mine;
    if (size < static_cast<std::size_t>(kReplayHeaderSize)) return;
    const int row = RowOf(file);
    Describe(file, size, row, &mine);
    if (!mine.ours || mine.time == kReplayNoTime) return;
    LockPlayerFiles();
    // The table as saved: another copy may have moved this round's entry down since.
    int table[16][5];
    if (!ReadBestTimesFile(table)) std::memcpy(table, BestTimes, sizeof table);
    char names[5][64];
    Kept kept[5];
    int place = -1;
    for (int p = 0; p < 5; ++p) {
        EntryName(row, p, names[p], sizeof names[p]);
        ReadKept(names[p], row, &kept[p]);
        if (place < 0 && StandsFor(kept[p], table[row][p]) &&
            std::memcmp(kept[p].round, mine.round, sizeof mine.round) == 0)
            place = p;
    }
    for (int p = 0; p < 5 && place < 0; ++p)
        if (StandsFor(mine, table[row][p]) && !StandsFor(kept[p], table[row][p])) place = p;
    if (place >= 0) SaveKept(names[place], file, size);
    UnlockPlayerFiles();
}

void KeepLastReplay(const std::uint8_t* file, std::size_t size) {
    LockPlayerFiles();
    SaveKept(kLastReplayName, file, size);
    UnlockPlayerFiles();
}
