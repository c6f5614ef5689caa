#pragma once
// Shared by the title and mode-select tests: sound buffers that report whether the
// game played them, and control of the virtual clock.

#include "platform/stand_in/dsound.h"
#include "platform/stand_in/runtime.h"

// A one-second silent buffer. In headless mode the mixer advances only on a flip, so
// a buffer played since the last flip still reports that it plays.
inline LPDIRECTSOUNDBUFFER MakeProbeSound() {
    static LPDIRECTSOUND ds = nullptr;
    if (ds == nullptr && DirectSoundCreate(nullptr, &ds, nullptr) != DS_OK) return nullptr;
    static WAVEFORMATEX format = {WAVE_FORMAT_PCM, 1, 22050, 22050, 1, 8, 0};
    DSBUFFERDESC desc = {
        sizeof(DSBUFFERDESC), DSBCAPS_STATIC | DSBCAPS_CTRLVOLUME, 22050, 0, &format, {}};
    LPDIRECTSOUNDBUFFER buffer = nullptr;
    if (ds->CreateSoundBuffer(&desc, &buffer, nullptr) != DS_OK) return nullptr;
    return buffer;
}

inline bool IsSounding(LPDIRECTSOUNDBUFFER buffer) {
    DWORD status = 0;
    buffer->GetStatus(&status);
    return (status & DSBSTATUS_PLAYING) != 0;
}

inline LONG VolumeOf(LPDIRECTSOUNDBUFFER buffer) {
    LONG volume = 1;
    buffer->GetVolume(&volume);
    return volume;
}

// Makes GetTickCount() read `tick` now.
inline void SetTickNow(DWORD tick) {
    SetTickOrigin(tick - static_cast<DWORD>(FlipCount() * 1000 / 60));
}

// Makes GetTickCount() read `tick` right after the next flip.
inline void SetTickAfterNextFlip(DWORD tick) {
    SetTickOrigin(tick - static_cast<DWORD>((FlipCount() + 1) * 1000 / 60));
}
