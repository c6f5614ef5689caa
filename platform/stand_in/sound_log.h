#pragma once
// The sound log (--sound-log): one line per buffer operation the game makes.

#include "platform/stand_in/dsound.h"

// Names a buffer in the sound log ("SND_HIT_1"); builds that keep no sound log of the
// system's own buffers let the name go.
void SetSoundLogName(IDirectSoundBuffer* buffer, const char* name);
