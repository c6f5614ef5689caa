#pragma once
// The game's window. The shell creates it at start; the display and the sound hand it to
// DirectDraw and DirectSound, and name it as the owner of their message boxes.

#include "platform/stand_in/win32.h"

extern HWND hWnd;
