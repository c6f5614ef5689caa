#pragma once
// zumble-ddraw.exe: the game code's "platform/win32.h" is Windows itself. This folder
// comes first on that build's include path, so the game compiles against the system's
// own declarations and not the stand-in's.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
