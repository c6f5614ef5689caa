#pragma once
// One round of play: spawning, swats, the clock, the clear and the results board.

#include <cstdint>

enum : int { Playing = 0, Recording = 1, ShowingResults = 2, AwaitingClick = 3 };

extern int TargetFlies;
extern double BaseSpeed;
extern int FliesSpawned;
extern int FliesSwatted;
extern int RoundPhase;
extern int PhaseFrames;
extern std::uint32_t RoundStartTick;
extern std::uint32_t RoundLastTick;
extern std::uint16_t ClockMinutes;
extern int ClockSeconds;
extern int ClockMillis;
extern std::uint16_t BoardMinutes[5];
extern int BoardSeconds[5];
extern int BoardMillis[5];

// The clock as the round's frame shows it, in milliseconds.
std::uint32_t ShownClockMs();

int EnterPlay();
void PlayFrame();
int PlayClick();
// 1 when a click with the cursor at (cursorX, cursorY) swats the fly whose record is at (x, y).
int SwatReaches(int x, int y, int cursorX, int cursorY);
void ReapObjects();
void UpdateBuzz();
void LeavePlay();
// Empties every list a round uses (the start of LeavePlay).
void ClearPlayLists();

// Draws one whole play frame into the back buffer.
int DrawPlay(int phaseFrames);
