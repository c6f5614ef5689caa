#pragma once
// The Win32 backend's sound output: the system's wave-out device, fed by a thread of its
// own from the core's mix, about 35 ms ahead of the speaker. Only standard types cross
// this header (see win32_window.h).

#include <cstdint>

// Pulls the next `frames` frames of interleaved 16-bit samples (the core's AudioPull).
using Win32AudioPull = void (*)(std::int16_t* out, int frames);

// True when the device plays the mix (`channels` 16-bit channels at `rate` Hz); false,
// with a line on stderr, without one.
bool Win32OpenAudio(Win32AudioPull pull, int rate, int channels);
void Win32CloseAudio();
