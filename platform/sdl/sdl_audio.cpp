#include "platform/sdl/sdl_audio.h"

#include <SDL.h>

#include <cstdio>

#include "platform/core/sound_mixer.h"

namespace {

SDL_AudioDeviceID g_device = 0;
AudioPull g_pull = nullptr;

void DeviceCallback(void*, Uint8* stream, int len) {
    g_pull(reinterpret_cast<std::int16_t*>(stream), len / (MIX_CHANNELS * 2));
}

}  // namespace

bool SdlOpenAudio(AudioPull pull) {
    if (g_device != 0) return true;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "zumble: no audio device (%s); running without sound\n", SDL_GetError());
        return false;
    }
    g_pull = pull;
    SDL_AudioSpec want{};
    want.freq = MIX_RATE;
    want.format = AUDIO_S16SYS;
    want.channels = MIX_CHANNELS;
    want.samples = 512;  // about 23 ms: a swing is heard with its click
    want.callback = DeviceCallback;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts our fixed format (rate included) to whatever the
    // hardware wants, once per device period rather than per sound at load.
    g_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (g_device == 0) {
        std::fprintf(stderr, "zumble: no audio device (%s); running without sound\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    SDL_PauseAudioDevice(g_device, 0);
    return true;
}

void SdlCloseAudio() {
    if (g_device == 0) return;
    SDL_CloseAudioDevice(g_device);
    g_device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}
