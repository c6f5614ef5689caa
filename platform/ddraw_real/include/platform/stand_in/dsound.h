#pragma once
// zumble-ddraw.exe: the system's DirectSound (see win32.h in this folder).
#include <dsound.h>
#include <mmsystem.h>

#include "platform/stand_in/win32.h"
