#pragma once
// What the port adds around the Windows interfaces: the frame counter that the flips
// advance, and the hooks that run when a flip of the primary surface completes.

#include <cstdint>

#include "platform/win32.h"

#include <ctime>

bool IsHeadless();

// The calendar time in seconds that seeds the random sequence: the C runtime's time(),
// or --time in headless mode.
std::time_t CalendarTime();

// Number of completed flips of the primary surface since start-up.
long long FlipCount();

// Called after every completed flip, with the flip's number (1 for the first).
using FlipHook = void (*)(long long frame);
void AddFlipHook(FlipHook hook);

// Posts a message to the game's window queue (the backends' and the test player's way in).
void PostGameMessage(UINT message, WPARAM wParam, LPARAM lParam);
// Moves the cursor (game coordinates).
void SetGameCursor(int x, int y);

// Sound side of a flip (platform/sound_mixer.cpp): in headless mode it renders exactly
// 1/60 s of the mix (to --audio-out when given). AudioShutdown finishes the recording.
void AudioOnFlip();
void AudioShutdown();

// Brings up the backend chosen by g_Options (SDL2, or headless when g_Options.headless);
// main() calls it before WinMain, tests call it after setting g_Options. Returns false
// with a message on stderr when the backend cannot start.
bool PlatformInit();
void PlatformShutdown();

// Headless: moves the virtual clock's origin, so that GetTickCount() reads
// tick0 + floor(FlipCount() * 1000 / 60). For tests.
void SetTickOrigin(DWORD tick0);

// Called by PeekMessage: the first time, at the start of the main loop's first pass,
// carries out the script's frame-0 events (once the display exists, so that
// `lose-surfaces` and `shot` at frame 0 act on it).
void PostFrameZeroEvents();
// lParam of a mouse message at game coordinates (x, y).
LPARAM MakeCursorLParam(int x, int y);
// Forgets the window and empties the queue, so a test program can create it again.
void ResetWindowForTest();

// For --timedemo: milliseconds from process start (MarkProcessStart) to the first flip.
void MarkProcessStart();
double MillisecondsToFirstFlip();
