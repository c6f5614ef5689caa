#pragma once
// What the process entry hands the Windows backend before the run starts: the backend
// sits below the run that it serves, so it is given, not told by include, how the game
// ends at once when Windows ends the session.

#include "platform/win32/win32_window.h"

// Before PrepareRun (which starts the backend); the window calls it on WM_ENDSESSION.
void Win32SetEndSession(Win32EndSession endSession);
