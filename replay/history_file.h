#pragma once
// Every round played, finished or left, is one line of history.txt beside hiscoa.sav,
// appended when the round ends; the replays of the last 100 rounds stay in replays/ as
// round-ID.zrp (ID: the first 16 digits of the round's identity), the older ones go. A
// line is written whole with one append, and a line that cannot be read (cut by a power
// cut, edited by hand) is skipped without touching the others. The format is in
// docs/replay-format.md.

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr const char* kHistoryName = "history.txt";
constexpr int kHistoryKeptReplays = 100;
// Longer lines are not the game's: skipped whole.
constexpr int kHistoryLineMax = 256;

struct HistoryRound {
    std::uint32_t played = 0;  // the calendar time the round read (seconds since 1970)
    int flies = 0;             // 10, 30, 100, 1000
    int speed = 0;             // 1..4
    bool left = true;          // left before its last fly: no time
    std::uint32_t timeMs = 0;
    int swatted = 0;
    char round[65] = "";  // the replay's round identity; "" when no replay was kept
    // Enter and Space presses that changed how fast the flies came (--verify's keys=);
    // -1 when the line does not say (written by an older game).
    int keys = -1;
};

// The kept replay of a round by its identity, as OpenGamePath names it.
void HistoryReplayName(const char* round, char* out, std::size_t size);

// The line of a round, with its newline; its length (0 when it does not fit).
std::size_t FormatHistoryLine(const HistoryRound& r, char* out, std::size_t size);

// One line without its newline; false when it is not a whole line of the game's.
bool ParseHistoryLine(const char* line, HistoryRound* r);

// Reads the history line by line, calling `each` for every good line; the number of
// lines skipped as damaged goes to *damaged. False when there is no history to read.
bool ReadHistory(void (*each)(const HistoryRound& r, void* context), void* context, int* damaged);

// The round has ended: its replay (the whole file; null when none was kept) goes to
// replays/, its line to the history, and the replays of the rounds that are no longer
// among the last 100 are removed. With the player's files locked; a failure loses at
// most this round's line or replay, nothing else.
void KeepRoundInHistory(const HistoryRound& r, const std::uint8_t* file, std::size_t size);
