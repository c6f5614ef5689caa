#pragma once
// The SDL2 backend's sound output: SDL's audio device pulling the core's mix.

#include "platform/stand_in/backend.h"

bool SdlOpenAudio(AudioPull pull);
void SdlCloseAudio();
