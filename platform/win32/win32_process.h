#pragma once
// The Windows process around the game: its console and what it cost. Only standard
// types cross this header (see win32_window.h).

// A program built for the desktop has no console of its own: started from one, it
// writes its --help, errors and --timedemo line there all the same.
void Win32UseParentConsole();
// Processor time the process has used so far (user and kernel), in milliseconds.
double Win32CpuMilliseconds();
// The most memory the process has held at once, in kilobytes.
long Win32PeakMemoryKb();
