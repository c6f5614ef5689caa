#pragma once
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
