// Conversion of a buffer's samples to the mix form, done once when it is filled.

#include <SDL.h>

#include <climits>
#include <cstring>

#include "platform/sound_mixer.h"

bool ConvertToMix(const WAVEFORMATEX& format, const BYTE* data, std::size_t bytes,
                  std::vector<std::int16_t>* out) {
    out->clear();
    const std::size_t frameBytes = format.nBlockAlign;
    const std::size_t whole = frameBytes == 0 ? 0 : bytes / frameBytes * frameBytes;
    if (whole == 0) return true;
    const SDL_AudioFormat source = format.wBitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    const int channels = format.nChannels;
    // One conversion of the whole sound: SDL's stream, fed in pieces, drops frames at
    // rate ratios like 48000:44100, which would shorten the sound and click. The channel
    // count stays: the mixer spreads a mono sound over both sides as it adds it.
    SDL_AudioCVT cvt;
    if (SDL_BuildAudioCVT(&cvt, source, static_cast<Uint8>(channels),
                          static_cast<int>(format.nSamplesPerSec), AUDIO_S16SYS,
                          static_cast<Uint8>(channels), MIX_RATE) < 0)
        return false;
    const std::size_t mult = cvt.len_mult > 0 ? static_cast<std::size_t>(cvt.len_mult) : 1;
    if (whole > static_cast<std::size_t>(INT_MAX) / mult) return false;
    // SDL converts in place in room for len_mult times the source; that room is the
    // result itself, so a 16-bit sound at MIX_RATE (nothing to convert) costs one copy.
    out->resize((whole * mult + 1) / sizeof(std::int16_t));
    std::memcpy(out->data(), data, whole);
    cvt.buf = reinterpret_cast<Uint8*>(out->data());
    cvt.len = static_cast<int>(whole);
    if (SDL_ConvertAudio(&cvt) < 0) {
        out->clear();
        return false;
    }
    const std::size_t frames = static_cast<std::size_t>(cvt.len_cvt) / (sizeof(std::int16_t) * channels);
    out->resize(frames * channels);
    // Only the conversions that needed work room leave slack worth giving back.
    if (out->capacity() > out->size() + out->size() / 8) out->shrink_to_fit();
    return true;
}
