#pragma once
// zumble-ddraw.exe: the system's DirectDraw (see win32.h in this folder).
#include "platform/stand_in/win32.h"

#include <ddraw.h>
