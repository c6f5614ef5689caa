// Conversion of a buffer's samples to the mix format, done once when it is filled.

#include <SDL.h>

#include <algorithm>

#include "platform/sound_mixer.h"

bool ConvertToMix(const WAVEFORMATEX& format, const BYTE* data, std::size_t bytes,
                  std::vector<float>* out) {
    out->clear();
    const std::size_t frameBytes = format.nBlockAlign;
    const std::size_t whole = frameBytes == 0 ? 0 : bytes / frameBytes * frameBytes;
    if (whole == 0) return true;
    const SDL_AudioFormat source = format.wBitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    SDL_AudioStream* stream =
        SDL_NewAudioStream(source, static_cast<Uint8>(format.nChannels),
                           static_cast<int>(format.nSamplesPerSec), AUDIO_F32SYS, MIX_CHANNELS,
                           MIX_RATE);
    if (stream == nullptr) return false;
    bool ok = true;
    // In pieces, so the stream's own work space stays small for long recordings.
    constexpr std::size_t kPiece = 1 << 16;
    for (std::size_t at = 0; ok && at < whole; at += kPiece) {
        const std::size_t n = std::min(kPiece, whole - at);
        ok = SDL_AudioStreamPut(stream, data + at, static_cast<int>(n)) == 0;
    }
    ok = ok && SDL_AudioStreamFlush(stream) == 0;
    if (ok) {
        const int available = SDL_AudioStreamAvailable(stream);
        const std::size_t frames = static_cast<std::size_t>(available) / (sizeof(float) * MIX_CHANNELS);
        out->resize(frames * MIX_CHANNELS);
        const int want = static_cast<int>(frames * MIX_CHANNELS * sizeof(float));
        ok = frames == 0 || SDL_AudioStreamGet(stream, out->data(), want) == want;
    }
    SDL_FreeAudioStream(stream);
    if (!ok) out->clear();
    return ok;
}
