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

// Whether a fly comes this frame, drawn from the random sequence as the round draws it
// (and its speed); the round's own spawn and the verifier's forecast both ask it.
bool SpawnComes(int spawned, int target, int divisor, double baseSpeed, double* speed);
// The numbers a swat draws from the sequence for each fly it swats (its debris).
constexpr int kSwatDraws = 64;
// Whether a fly whose record is at (x, y) shows any of its sprite on the screen in a
// frame drawn with `phaseFrames` (the wing beat picks the sprite).
bool FlyDrawn(int x, int y, int phaseFrames);

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
// Whether the frame DrawPlay draws now shows the round's clock: always while the flies
// come, then on the lit half of the results board's blink.
bool ClockShown();
