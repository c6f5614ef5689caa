// WAVE files of any content into a new and into a used sound slot, and the chunk search.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "media/sound.h"

namespace {
LPDIRECTSOUNDBUFFER g_kept = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzEnterScratchDir();
    FuzzStartDisplay();
    if (DirectSoundCreate(nullptr, &lpDS, nullptr) != DS_OK) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzWriteFile("wave/f.wav", data, size);
    LPDIRECTSOUNDBUFFER fresh = nullptr;
    if (LoadWave("wave\\f.wav", lpDS, &fresh) && fresh) {
        fresh->Play(0, 0, DSBPLAY_LOOPING);
        fresh->Release();
    }
    // Refilling a buffer in place, as the restore after re-activation does.
    LoadWave("wave\\f.wav", lpDS, &g_kept);
    FindChunk("data", data, static_cast<long>(size));
    FindChunk("fmt", data, static_cast<long>(size));
    return 0;
}
