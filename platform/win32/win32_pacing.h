#pragma once
// 60 frames per second on Windows, whatever the display does: an absolute 1/60 s
// schedule kept with the performance counter, waited out on a high-resolution
// waitable timer (no busy loop).

// Sleeps until the next 1/60 s slot. A game a few frames late catches up; one that fell
// more than four frames behind starts a new schedule from now instead.
void Win32WaitForFrame();
// Ends the waiting (the timer is given back).
void Win32StopPacing();
