#pragma once
// Replays: everything the game reads from the platform (the messages it takes, the tick
// count, the calendar time, the cursor) can be watched while a round is recorded, or
// supplied from the file while one is played back.

#include "platform/stand_in/win32.h"

#include <ctime>

struct InputTap {
    // A message the game took off the queue (after the cursor followed it); null when a
    // drain of the queue ended.
    void (*message)(const MSG* msg);
    void (*tick)(DWORD value);
    void (*calendar)(std::time_t value);
};
// Null stops watching.
void SetInputTap(const InputTap* tap);

struct InputFeed {
    // Gives the game its next message; FALSE ends the drain.
    BOOL (*message)(MSG* msg);
    DWORD (*tick)();
    std::time_t (*calendar)();
};
// While a feed is set, the game's input comes only from it; the player's own input stays
// in the queue for the feed to look at (TakeLiveMessage). Null gives the game the queue.
void SetInputFeed(const InputFeed* feed);

// The player's input as the backend posted it, taken off the queue without reaching the
// game or moving its cursor.
BOOL TakeLiveMessage(MSG* msg);

// The tick count for tools that watch the game (the trace): the one the game would read
// now, without counting as the game's read.
DWORD ObserveTickCount();

// The tap and the feed now set (null when none).
const InputTap* ActiveInputTap();
const InputFeed* ActiveInputFeed();
