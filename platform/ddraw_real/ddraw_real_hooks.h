#pragma once
// zumble-ddraw.exe: what the wrapped DirectDraw tells the rest of that build's platform.

#include <windows.h>

// A flip of the primary surface has completed: count it and run the flip hooks.
void CompleteRealFlip();
// The game's window, as the game handed it to DirectDraw.
void SetRealGameWindow(HWND window);
