#pragma once
// The shell's program-wide variables: the instance it was started with, and those it
// shares with the scenes (scenes/scene_globals.h) and the media (media/game_window.h).

#include "platform/stand_in/win32.h"

#include "media/game_window.h"
#include "scenes/scene_globals.h"

extern HINSTANCE hInst;
