#include "platform/sdl/sdl_audio.h"

#include <SDL.h>
#include <dlfcn.h>

#include <cstdio>

#include "platform/stand_in/sound_mixer.h"

namespace {

SDL_AudioDeviceID g_device = 0;
AudioPull g_pull = nullptr;

void DeviceCallback(void*, Uint8* stream, int len) {
    g_pull(reinterpret_cast<std::int16_t*>(stream), len / (MIX_CHANNELS * 2));
}

// ALSA writes each error of a failed probe on stderr ("ALSA lib ...": eight lines on a
// machine without a sound card) before the game can say it plays silent. Its handler is
// silenced while SDL opens the device; the game's own line gives SDL's reason. SDL loads
// ALSA itself, so it is reached by name, when it is there at all.
using AlsaErrorHandler = void (*)(const char* file, int line, const char* function, int error,
                                  const char* format, ...);
using AlsaSetHandler = int (*)(AlsaErrorHandler handler);

void SilentAlsa(const char*, int, const char*, int, const char*, ...) {}

struct AlsaQuiet {
    void* library = nullptr;
    AlsaSetHandler setHandler = nullptr;
};

AlsaQuiet QuietAlsa() {
    AlsaQuiet quiet;
    quiet.library = dlopen("libasound.so.2", RTLD_LAZY | RTLD_LOCAL);
    if (!quiet.library) return quiet;
    quiet.setHandler =
        reinterpret_cast<AlsaSetHandler>(dlsym(quiet.library, "snd_lib_error_set_handler"));
    if (quiet.setHandler) quiet.setHandler(SilentAlsa);
    return quiet;
}

// ALSA's own handler again, for whatever it has to say once the device plays.
void RestoreAlsa(const AlsaQuiet& quiet) {
    if (quiet.setHandler) quiet.setHandler(nullptr);
    if (quiet.library) dlclose(quiet.library);
}

bool OpenDevice() {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "zumble: no audio device (%s); running without sound\n",
                     SDL_GetError());
        return false;
    }
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
        std::fprintf(stderr, "zumble: no audio device (%s); running without sound\n",
                     SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    return true;
}

}  // namespace

bool SdlOpenAudio(AudioPull pull) {
    if (g_device != 0) return true;
    g_pull = pull;
    const AlsaQuiet quiet = QuietAlsa();
    const bool opened = OpenDevice();
    RestoreAlsa(quiet);
    if (opened) SDL_PauseAudioDevice(g_device, 0);
    return opened;
}

void SdlCloseAudio() {
    if (g_device == 0) return;
    SDL_CloseAudioDevice(g_device);
    g_device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}
