#pragma once

#include <cstddef>
#include <cstdint>

#include "replay/core/replay_format.h"
// Every round is recorded, from the click that starts it to the return to mode select,
// and kept in replays/ beside hiscoa.sav: the last round as last.zrp, and one file for
// each entry of the best-times table (best-FLIES-SPEED-PLACE.zrp), which moves down the
// table with its entry and goes when the entry falls off. Saving a replay never disturbs
// the game or the table: a failure only leaves the replay unsaved.

// Watches the game from now on (a flip hook and the input tap). Allocates its buffers.
void StartReplayRecording();
// At the end of the run: a round cut short by closing the game is kept as it was at its
// last flip, however the game was closed.
void FinishReplayRecording();
// The page may be closed without a word once it is hidden: the round going on is kept
// as it is so far (as if the game were closed now), and goes on.
void KeepReplaySoFar();
// True from the click that starts a round to the return to mode select (the page asks
// before leaving a round to watch a replay).
bool ReplayRoundGoingOn();
// True with the round's time once its last fly is swatted, while its results board
// shows (the page offers to send the round from there).
bool ReplayRoundTimeKnown(unsigned* time);

// The round as recorded so far, for a room that sends it to the board while it is played
// (read-only views into the recorder's own room; nothing is copied).
struct RecordedSoFar {
    long long round;             // counts the rounds begun since the start, 0 before the first
    bool inRound;                // the round `round` is going on
    const ReplayHeader* header;  // as it began (its calendar time is read in its first frames)
    // Its coded frames so far: bytes that stay as they are (a run of idle frames is added
    // once an input ends it, or at the end).
    const std::uint8_t* input;
    std::size_t inputSize;
    // Once it has ended: its whole file as kept (null when it could not be kept).
    const std::uint8_t* file;
    std::size_t fileSize;
    // Once its time is known (KeepTimedRoundFiles asked for it): its file as it stood at
    // that flip, ending on the results board as a record's kept replay does.
    const std::uint8_t* timedFile;
    std::size_t timedSize;
};
// False when nothing is recorded (no recording, or no room for it).
bool ReplayRecordedSoFar(RecordedSoFar* out);
// A room asks for each round's file as it stands when its time is known (a room of its
// own, taken now); false when there is no recording or no memory for it.
bool KeepTimedRoundFiles();
