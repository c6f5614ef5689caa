#pragma once
// zumble-ddraw.exe: the system's DirectDraw (see win32.h in this folder).
#include "platform/core/win32.h"
#include <ddraw.h>
