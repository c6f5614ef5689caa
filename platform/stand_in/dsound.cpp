// DirectSound objects and buffers on top of the mixer.

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/stand_in/sound_log.h"
#include "platform/stand_in/sound_mixer.h"

namespace {

// Every sample of a buffer is converted to the mix rate when it is filled, before the
// game goes on: a rate far below any sound card's (a 100 Hz file grows 220 times over)
// or a very long sound would hold up the start for minutes. Below this rate nothing is
// a sound worth hearing; past this size (six minutes of stereo) nothing is the game's.
constexpr DWORD kLowestRate = 4000;
constexpr std::uint64_t kMaxMixBytes = std::uint64_t{1} << 25;
int g_Objects = 0;  // live DirectSound objects; the device stays open while there is one
std::vector<IDirectSoundBuffer*> g_Owned;  // every live buffer, to end them with their object

bool FormatIsPlayable(const WAVEFORMATEX& f) {
    if (f.wFormatTag != WAVE_FORMAT_PCM) return false;
    if (f.nChannels != 1 && f.nChannels != 2) return false;
    if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) return false;
    if (f.nSamplesPerSec < std::max(kLowestRate, DSBFREQUENCY_MIN) ||
        f.nSamplesPerSec > DSBFREQUENCY_MAX)
        return false;
    return f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8;
}

}  // namespace

HRESULT DirectSoundCreate(void*, LPDIRECTSOUND* out, void*) {
    if (out == nullptr) return DSERR_INVALIDPARAM;
    if (g_Objects == 0) {
        g_Owned.reserve(32);
        OpenMixerDevice();
        SoundLogOpen();
    }
    ++g_Objects;
    *out = new IDirectSound;
    return DS_OK;
}

HRESULT IDirectSound::SetCooperativeLevel(HWND, DWORD level) {
    return level >= DSSCL_NORMAL && level <= DSSCL_WRITEPRIMARY ? DS_OK : DSERR_INVALIDPARAM;
}

HRESULT IDirectSound::CreateSoundBuffer(const DSBUFFERDESC* desc, LPDIRECTSOUNDBUFFER* out, void*) {
    if (desc == nullptr || out == nullptr || desc->lpwfxFormat == nullptr)
        return DSERR_INVALIDPARAM;
    if (desc->dwSize != sizeof(DSBUFFERDESC) &&
        desc->dwSize != offsetof(DSBUFFERDESC, guid3DAlgorithm))
        return DSERR_INVALIDPARAM;
    if (desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX)
        return DSERR_INVALIDPARAM;
    if (!FormatIsPlayable(*desc->lpwfxFormat)) return DSERR_BADFORMAT;
    // The mix form takes 2 bytes a sample at MIX_RATE: an 8-bit sound at a low rate grows
    // many times over.
    const WAVEFORMATEX& f = *desc->lpwfxFormat;
    const std::uint64_t mixFrames =
        std::uint64_t{desc->dwBufferBytes} / f.nBlockAlign * MIX_RATE / f.nSamplesPerSec;
    if (mixFrames * f.nChannels * sizeof(std::int16_t) > kMaxMixBytes) return DSERR_OUTOFMEMORY;

    auto* buffer = new IDirectSoundBuffer;
    buffer->state = new IDirectSoundBuffer::State;
    IDirectSoundBuffer::State& s = *buffer->state;
    s.owner = this;
    std::memcpy(&s.format, desc->lpwfxFormat, sizeof s.format);
    s.samples.assign(desc->dwBufferBytes, s.format.wBitsPerSample == 8 ? 0x80 : 0);
    // Until it is filled the buffer holds silence of its length, and plays for as long;
    // the mixer needs no samples for that.
    s.channels = f.nChannels;
    s.frames = static_cast<std::size_t>(mixFrames);
    g_Owned.push_back(buffer);
    MixerAdd(buffer);
    *out = buffer;
    return DS_OK;
}

DWORD IDirectSound::Release() {
    // Downward, since each Release takes its buffer out of g_Owned.
    for (std::size_t i = g_Owned.size(); i-- > 0;) {
        if (g_Owned[i]->state->owner == this) g_Owned[i]->Release();
    }
    delete this;
    if (--g_Objects == 0) {
        SoundLogFlush();
        CloseMixerDevice();
    }
    return 0;
}

HRESULT IDirectSoundBuffer::Play(DWORD, DWORD, DWORD flags) {
    const bool loop = (flags & DSBPLAY_LOOPING) != 0;
    SoundLogOp(*state, loop ? "loop" : "play");
    MixerLock();
    if (!state->playing) {
        state->playing = true;
        state->looping = loop;
    }
    MixerUnlock();
    return DS_OK;
}

HRESULT IDirectSoundBuffer::Stop() {
    SoundLogOp(*state, "stop");
    MixerLock();
    state->playing = false;  // the position stays where it was
    MixerUnlock();
    return DS_OK;
}

HRESULT IDirectSoundBuffer::GetStatus(DWORD* status) {
    if (status == nullptr) return DSERR_INVALIDPARAM;
    MixerLock();
    DWORD s = 0;
    if (state->playing) s = DSBSTATUS_PLAYING | (state->looping ? DSBSTATUS_LOOPING : 0);
    MixerUnlock();
    *status = s;
    return DS_OK;
}

HRESULT IDirectSoundBuffer::SetVolume(LONG volume) {
    SoundLogVolume(*state, volume);
    if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
    const float gain = VolumeToGain(volume);
    MixerLock();
    state->volume = volume;
    state->gain = gain;
    MixerUnlock();
    return DS_OK;
}

HRESULT IDirectSoundBuffer::GetVolume(LONG* volume) {
    if (volume == nullptr) return DSERR_INVALIDPARAM;
    *volume = state->volume;
    return DS_OK;
}

HRESULT IDirectSoundBuffer::Lock(DWORD offset, DWORD bytes, void** ptr1, DWORD* bytes1, void** ptr2,
                                 DWORD* bytes2, DWORD) {
    const std::size_t size = state->samples.size();
    if (ptr1 == nullptr || bytes1 == nullptr) return DSERR_INVALIDPARAM;
    if (offset >= size || bytes == 0 || bytes > size) return DSERR_INVALIDPARAM;
    // The region runs to the end of the buffer at most; the rest wraps to the start and
    // is handed out only to a caller that asked for a second region.
    const DWORD first = static_cast<DWORD>(std::min<std::size_t>(bytes, size - offset));
    *ptr1 = state->samples.data() + offset;
    *bytes1 = first;
    if (ptr2 != nullptr && bytes2 != nullptr) {
        *ptr2 = bytes > first ? state->samples.data() : nullptr;
        *bytes2 = bytes - first;
    }
    return DS_OK;
}

HRESULT IDirectSoundBuffer::Unlock(void* ptr1, DWORD bytes1, void*, DWORD) {
    const BYTE* begin = state->samples.data();
    const BYTE* p = static_cast<const BYTE*>(ptr1);
    if (p == nullptr || p < begin || p + bytes1 > begin + state->samples.size())
        return DSERR_INVALIDPARAM;
    // Convert outside the lock and swap the result in, so a buffer refilled while it
    // plays goes on from the same position without a gap or a half-written block. A
    // sound nobody hears needs only its length.
    std::vector<std::int16_t> fresh;
    std::size_t frames = 0;
    if (SoundUnheard()) {
        if (!MixFrameCount(state->format, state->samples.size(), &frames)) return DSERR_GENERIC;
    } else {
        if (!ConvertToMix(state->format, begin, state->samples.size(), &fresh))
            return DSERR_GENERIC;
        frames = fresh.size() / static_cast<std::size_t>(state->channels);
    }
    MixerLock();
    state->mixed.swap(fresh);
    state->frames = frames;
    if (state->position >= state->frames) state->position = 0;
    MixerUnlock();
    return DS_OK;  // the old samples are freed here, outside the lock
}

HRESULT IDirectSoundBuffer::Restore() { return DS_OK; }  // buffers are never lost here

DWORD IDirectSoundBuffer::Release() {
    MixerRemove(this);
    for (std::size_t i = 0; i < g_Owned.size(); ++i) {
        if (g_Owned[i] == this) {
            g_Owned.erase(g_Owned.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    delete state;
    delete this;
    return 0;
}

void SetSoundLogName(IDirectSoundBuffer* buffer, const char* name) {
    if (buffer == nullptr || name == nullptr) return;
    IDirectSoundBuffer::State* state = buffer->state;
    std::strncpy(state->logName, name, sizeof state->logName - 1);
    state->logName[sizeof state->logName - 1] = '\0';
}
