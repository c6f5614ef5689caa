#pragma once
// 60 frames per second on Windows, whatever the display does: one frame per 1/60 s slot
// (platform/services/frame_pacer.h) on the performance counter, waited out on a
// high-resolution waitable timer (no busy loop). A frame that comes too late starts a
// new schedule rather than catching up, so the game never runs faster than 60 a second.

#include <cstdint>

// Sleeps until the next frame's slot; the frame is then the current one.
void Win32WaitForFrame();
// The game's tick count: the current frame's slot in milliseconds of the performance
// counter (the live counter before the first frame).
std::uint32_t Win32PacedTicks();
// Ends the waiting (the timer is given back).
void Win32StopPacing();
