#pragma once
// The player's backend on the desktop: an SDL2 window and SDL's audio device.

#include "platform/stand_in/backend.h"

const Backend& SdlBackend();
