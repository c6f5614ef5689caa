#pragma once
// What the port adds around the Windows interfaces: the backend that runs, the frame
// counter that the flips advance, and the hooks that run when a flip of the primary
// surface completes.

#include "platform/stand_in/win32.h"

#include <cstdint>
#include <ctime>

// The calendar time in seconds that seeds the random sequence: the C runtime's time(),
// or --time in headless mode.
std::time_t CalendarTime();

// Number of completed flips of the primary surface since start-up.
long long FlipCount();

// Called after every completed flip, with the flip's number (1 for the first), in the
// order they were added. Room for every part that watches the frames (trace, test
// player, recorder) with some to spare; one more than fits is a programming error, so
// it stops the program with a line on stderr rather than going unheard.
using FlipHook = void (*)(long long frame);
constexpr int kMaxFlipHooks = 16;
void AddFlipHook(FlipHook hook);

// Ends a flip of the primary surface: paces to the next 1/60 s slot when asked (never in
// a timedemo), advances the frame count, advances the mix when no device pulls it, and
// runs the flip hooks, then the backend's own; posts WM_CLOSE after --frames flips or a
// termination signal.
void CompleteFlip(bool wait);
// True once a termination signal (SIGTERM, SIGINT) came: loops that stand still between
// flips (the viewer paused or at its end) leave on it too.
bool TerminationAsked();

// A round played out of sight inside a frame of the game (the splits' reference, played
// from its replay): while an aside is set nothing is drawn or shown, and a flip of the
// primary surface only calls it; nothing is swapped, paced, counted, mixed or hooked.
// Null ends it.
using FlipAside = void (*)();
void SetFlipAside(FlipAside aside);
FlipAside ActiveFlipAside();

// Posts a message to the game's window queue (the backends' and the test player's way in).
void PostGameMessage(UINT message, WPARAM wParam, LPARAM lParam);
// Hands a message to the game's window at once, as SendMessage does; 0 without a window.
LRESULT SendGameMessage(UINT message, WPARAM wParam, LPARAM lParam);
// Moves the cursor (game coordinates).
void SetGameCursor(int x, int y);
// Where the input posted so far leaves the cursor: the newest move still waiting in the
// queue, else the cursor (a pad moves on from there, not from where the game last looked).
POINT PostedCursorPos();

// Flips complete at once, without waiting for their slot (the replay viewer's seeks and
// fast speeds).
void SkipFramePacing(bool skip);

// Chooses and starts the backend for g_Options (platform/stand_in/backend.h); main() calls it
// before WinMain, tests call it after setting g_Options. Returns false with a message on
// stderr when the run cannot start (a bad script); a missing display is reported later,
// by DirectDraw.
bool PlatformInit();
void PlatformShutdown();

// Headless: moves the virtual clock's origin, so that GetTickCount() reads
// tick0 + floor(FlipCount() * 1000 / 60). For tests.
void SetTickOrigin(DWORD tick0);

// lParam of a mouse message at game coordinates (x, y).
LPARAM MakeCursorLParam(int x, int y);
// Forgets the window and empties the queue, so a test program can create it again.
void ResetWindowForTest();

// For --timedemo: milliseconds from process start (MarkProcessStart) to the first flip.
void MarkProcessStart();
double MillisecondsToFirstFlip();
