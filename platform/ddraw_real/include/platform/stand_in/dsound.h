#pragma once
// zumble-ddraw.exe: the system's DirectSound (see win32.h in this folder).
#include "platform/stand_in/win32.h"
// dsound.h takes WAVEFORMATEX from mmsystem.h.
// clang-format off
#include <mmsystem.h>
#include <dsound.h>
// clang-format on
