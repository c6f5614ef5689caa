#pragma once
// The SDL backend's clock and pacing: one game frame per 1/60 s slot (FramePacer), on
// the steady clock, whose milliseconds are also the game's tick count.

#include <cstdint>

// The game's tick count: the current frame's slot (the live clock before the first frame).
std::uint32_t PacedTicks();

// The frame is drawn and presented: waits until its slot when it is early (a timer paces
// the game, or a display's refresh came before the slot), and makes it the current frame.
// Returns how long it waited, in µs.
std::int64_t PaceToNextFrame();

// Tests simulate a display's refresh rate (ZUMBLE_DISPLAY_HZ, e.g. 60.02): 0 when none is
// asked for, else the rate in Hz.
double SimulatedDisplayHz();
// Waits for the simulated display's next refresh, as a present with vsync would.
void WaitForSimulatedRefresh(double hz);
