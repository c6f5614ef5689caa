#pragma once
// 60 frames per second on Windows, whatever the display does: an absolute 1/60 s
// schedule kept with the performance counter, waited out on a high-resolution
// waitable timer (no busy loop).

// Sleeps until the next 1/60 s slot. A game that fell more than a frame behind starts a
// new schedule from now instead of rushing to catch up.
void Win32WaitForFrame();
// Ends the waiting (the timer is given back).
void Win32StopPacing();
