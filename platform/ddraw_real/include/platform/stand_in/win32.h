#pragma once
// zumble-ddraw.exe: the game code's "platform/stand_in/win32.h" is Windows itself. This folder
// comes first on that build's include path, so the game compiles against the system's
// own declarations and not the stand-in's.
#include "platform/win32/win32_api.h"
