#pragma once
// The DirectSound interfaces the game uses: static secondary buffers played once or
// looping by a software mixer, with volume in hundredths of a decibel.

#include "platform/stand_in/win32.h"

#include <cstdint>

constexpr HRESULT DS_OK = 0;
constexpr HRESULT DSERR_GENERIC = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT DSERR_INVALIDPARAM = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DSERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT DSERR_BADFORMAT = static_cast<HRESULT>(0x88780064u);
constexpr HRESULT DSERR_NODRIVER = static_cast<HRESULT>(0x88780078u);
constexpr HRESULT DSERR_BUFFERLOST = static_cast<HRESULT>(0x88780096u);

constexpr DWORD DSSCL_NORMAL = 1;
constexpr DWORD DSSCL_WRITEPRIMARY = 4;
constexpr DWORD DSBPLAY_LOOPING = 1;
constexpr DWORD DSBSTATUS_PLAYING = 1;
constexpr DWORD DSBSTATUS_BUFFERLOST = 2;
constexpr DWORD DSBSTATUS_LOOPING = 4;
constexpr DWORD DSBCAPS_STATIC = 0x02;
constexpr DWORD DSBCAPS_CTRLFREQUENCY = 0x20;
constexpr DWORD DSBCAPS_CTRLPAN = 0x40;
constexpr DWORD DSBCAPS_CTRLVOLUME = 0x80;
constexpr DWORD DSBSIZE_MIN = 4;
constexpr DWORD DSBSIZE_MAX = 0x0FFFFFFF;
constexpr DWORD DSBFREQUENCY_MIN = 100;
constexpr DWORD DSBFREQUENCY_MAX = 200000;
constexpr LONG DSBVOLUME_MIN = -10000;
constexpr LONG DSBVOLUME_MAX = 0;
constexpr WORD WAVE_FORMAT_PCM = 1;

#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)

// Windows' layout (40 bytes on 64-bit); like DirectSound, the stand-in takes dwSize as
// sizeof(DSBUFFERDESC) or the older size without guid3DAlgorithm, nothing else.
struct DSBUFFERDESC {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwBufferBytes;
    DWORD dwReserved;
    WAVEFORMATEX* lpwfxFormat;
    GUID guid3DAlgorithm;
};

struct IDirectSoundBuffer;
using LPDIRECTSOUNDBUFFER = IDirectSoundBuffer*;

struct IDirectSound {
    HRESULT SetCooperativeLevel(HWND hwnd, DWORD level);
    // Buffers hold PCM of 8 or 16 bits, one or two channels, any rate from 4000 Hz to
    // DSBFREQUENCY_MAX; any other format gives DSERR_BADFORMAT. A buffer that would pass
    // 32 MiB at the mix rate gives DSERR_OUTOFMEMORY.
    HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, LPDIRECTSOUNDBUFFER* out, void* outer);
    // Releasing the object also ends every buffer made on it.
    DWORD Release();
};
using LPDIRECTSOUND = IDirectSound*;

// Opens SDL's audio device (none in headless mode: the mix is then rendered a frame's
// worth per flip). Without an audio device the object still works, silently.
HRESULT DirectSoundCreate(void* guid, LPDIRECTSOUND* out, void* outer);

// The buffer's state is private to the mixer (platform/stand_in/sound_mixer.h).
struct IDirectSoundBuffer {
    HRESULT Play(DWORD reserved1, DWORD priority, DWORD flags);
    HRESULT Stop();
    HRESULT GetStatus(DWORD* status);
    HRESULT SetVolume(LONG volume);
    HRESULT GetVolume(LONG* volume);
    HRESULT Lock(DWORD offset, DWORD bytes, void** ptr1, DWORD* bytes1, void** ptr2, DWORD* bytes2,
                 DWORD flags);
    HRESULT Unlock(void* ptr1, DWORD bytes1, void* ptr2, DWORD bytes2);
    HRESULT Restore();
    DWORD Release();

    struct State;
    State* state = nullptr;
};
