#pragma once
// `zumble --replays`: the kept replays beside hiscoa.sav as the player reads them.

#include <cstdint>
#include <cstdio>
#include <string>

// One kept file's facts, from its header once the whole file has been checked.
struct KeptReplayFacts {
    bool readable = false;
    std::string reason;        // why it cannot be played, when it is not readable
    int flies = 0, speed = 0;  // 10..1000, 1..4; 0 when not known
    std::uint32_t timeMs = 0xFFFFFFFFu;
    std::uint32_t calendarTime = 0;  // when the round was played (seconds since 1970)
};

// Reads and checks one kept file (named as OpenGamePath names it); false when there is
// no such file.
bool ReadKeptReplay(const char* name, KeptReplayFacts* facts);

// The line of one replay: what it is ("last round", "best 2"), mode, time, date (local
// time) and where it is.
std::string KeptReplayLine(const char* what, const KeptReplayFacts& facts, const std::string& path);

// Prints the last round's replay and each best time's, one a line, or one line saying
// there are none. Returns the exit code.
int ListKeptReplays(std::FILE* out);
