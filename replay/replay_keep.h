#pragma once
// The kept replays beside hiscoa.sav: replays\last.zrp, the last round saved, and
// replays\best-FLIES-SPEED-PLACE.zrp for the entry at that place of hiscoa.sav's table.
// Several copies of the game may share them (two windows, two tabs of the page): a
// replay is found by what its header says (its mode and time, and the round it is),
// never by where this copy last put it, and every change is made with the player's
// files locked (platform/services/player_lock.h).

#include <cstddef>
#include <cstdint>

// The names of the kept replays, as OpenGamePath names them.
void ReplayEntryName(int flySetting, int speedSetting, int place, char* out, int size);
constexpr const char* kLastReplayName = "replays\\last.zrp";

// Row `row` of the table (speed + 4 * flies) has just been saved as `times`: each of the
// row's replays moves to the place that holds its time, and one whose time has no place
// is removed, so that no file stands for another entry. A place that gains an entry
// without a replay (a copy that records none) is left without one. The shell has
// SaveBestTimes call it for every row it changed (SetSavedRowFollower), with the player's
// files locked.
void MoveKeptReplays(int row, const int times[5]);

// Keeps a round's replay (the whole file) for its entry in hiscoa.sav's table: at the
// place where its earlier save of the same round now stands, else at a place of its time
// that has no replay of that time. Nothing when its time is not in the table.
void KeepEntryReplay(const std::uint8_t* file, std::size_t size);

// Keeps a round's replay as the last round's.
void KeepLastReplay(const std::uint8_t* file, std::size_t size);
