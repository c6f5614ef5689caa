#pragma once
// The five best clear times of each of the sixteen modes, and the file that keeps them.

extern int BestTimes[16][5];

constexpr int DEFAULT_BEST_TIME = 3599999;

void LoadBestTimes();
void ResetBestTimes();
// Puts a clear time in the current mode's row and fills the board; true when it got in.
bool RecordBestTime(int elapsed);
void SaveBestTimes();
