#pragma once
// zumble-ddraw.exe: the system's DirectDraw (see win32.h in this folder).
#include <ddraw.h>

#include "platform/stand_in/win32.h"
