#pragma once
// zumble-ddraw.exe: the system's DirectSound (see win32.h in this folder).
#include "platform/stand_in/win32.h"

#include <dsound.h>
#include <mmsystem.h>
