#pragma once
// What the player reads of a room (room_race.h's view) in words: the line at the top of
// the picture and the lines of the results box. Plain text; the presentation layer draws it.

#include <cstddef>

#include "replay/room_race.h"

// The top line: the racers, with their counts and how far behind the leader once the race
// runs ("Ann 7  Bob 5 +0.42"), or who is ready in the lobby ("Ann ready  Bob"); cut to size.
void RoomTopLine(const RoomRaceView& view, char* out, std::size_t size);
// The top line's right end: "press Start", "ready", "starts in 3", "race 2",
// "reconnecting".
void RoomStatusWord(const RoomRaceView& view, char* out, std::size_t size);
// The results box once the race's result is in: "Ann wins, 0:07.234", then each other
// racer's time or why not ("Bob 0:08.100", "Cy refused: too_fast"), at most `most` lines
// of at most `lineSize` bytes. Returns the lines written (0 before the result).
int RoomResultLines(const RoomRaceView& view, char* lines, int most, std::size_t lineSize);
