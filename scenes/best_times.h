#pragma once
// The five best clear times of each of the sixteen modes, and the file that keeps them.

extern int BestTimes[16][5];

constexpr int DEFAULT_BEST_TIME = 3599999;

void LoadBestTimes();
// Reads hiscoa.sav into `table` as LoadBestTimes does; 1 when it holds a table, else 0
// (and the defaults).
int ReadBestTimesFile(int table[16][5]);
void ResetBestTimes();
// Puts a clear time in the current mode's row and fills the board; true when it got in.
bool RecordBestTime(int elapsed);
// Where a round's time got into `row` (0-4) since it read `before`, or -1: the row holds
// the time more often than before (the times another copy of the game saved meanwhile
// come in with it); the first place that holds it.
int PlaceOfTime(int row, const int before[5], unsigned time);
// Saves the table, merged with what another copy of the game saved meanwhile. Each row
// the save changed then goes to the follower, with the player's files still locked.
void SaveBestTimes();
// What follows a saved row (row = speed + 4 * flies, times: the row as saved); the shell
// makes the kept replays follow their entries there. Null: nothing.
using SavedRowFollower = void (*)(int row, const int times[5]);
void SetSavedRowFollower(SavedRowFollower follower);
