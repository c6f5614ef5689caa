#pragma once
// What recording and playback both look at in the game: a checksum of the round's state
// and the time the round put to the best times.

#include <cstdint>

// The state that decides how the round goes on: the random sequence, the scene and the
// round's counters, the clock, the button, and where every fly, body, piece and mark is.
// The cursor is left out: it is input, put back by the replay itself.
std::uint32_t ReplayStateChecksum();

// The round's time once it has gone to the best times: false before (or when the round
// was left first).
bool RoundTimeRecorded(std::uint32_t* timeMs);

// The mode's numbers as the player sees them: 10, 30, 100 or 1000 flies; speed 1 to 4.
int FliesForSetting(int flySetting);
