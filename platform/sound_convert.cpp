// Conversion of a buffer's samples to the mix format, done once when it is filled.

#include <SDL.h>

#include <climits>
#include <cstring>

#include "platform/sound_mixer.h"

bool ConvertToMix(const WAVEFORMATEX& format, const BYTE* data, std::size_t bytes,
                  std::vector<float>* out) {
    out->clear();
    const std::size_t frameBytes = format.nBlockAlign;
    const std::size_t whole = frameBytes == 0 ? 0 : bytes / frameBytes * frameBytes;
    if (whole == 0) return true;
    const SDL_AudioFormat source = format.wBitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    // One conversion of the whole sound: SDL's stream, fed in pieces, drops frames at
    // rate ratios like 48000:44100, which would shorten the sound and click.
    SDL_AudioCVT cvt;
    if (SDL_BuildAudioCVT(&cvt, source, static_cast<Uint8>(format.nChannels),
                          static_cast<int>(format.nSamplesPerSec), AUDIO_F32SYS, MIX_CHANNELS,
                          MIX_RATE) < 0)
        return false;
    const std::size_t mult = cvt.len_mult > 0 ? static_cast<std::size_t>(cvt.len_mult) : 1;
    if (whole > static_cast<std::size_t>(INT_MAX) / mult) return false;
    std::vector<Uint8> work(whole * mult);
    std::memcpy(work.data(), data, whole);
    cvt.buf = work.data();
    cvt.len = static_cast<int>(whole);
    if (SDL_ConvertAudio(&cvt) < 0) return false;
    const std::size_t frames = static_cast<std::size_t>(cvt.len_cvt) / (sizeof(float) * MIX_CHANNELS);
    out->resize(frames * MIX_CHANNELS);
    std::memcpy(out->data(), work.data(), frames * MIX_CHANNELS * sizeof(float));
    return true;
}
