// Cost of the sound set-up and of the mix. Run from the repository root: the game's music
// is read from wave/bgm1.wav. Loading must not hold up the first frame; one 1/60 s frame
// of the mix with every slot sounding should take a few microseconds.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/services/options.h"
#include "platform/stand_in/sound_mixer.h"

namespace {

struct Sound {
    WAVEFORMATEX format{};
    std::string samples;
};

std::uint32_t Le32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
    return v;
}

// The first "fmt " and "data" chunks of a WAVE file; an empty sound when it is not there.
Sound ReadWave(const char* path) {
    std::ifstream f(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    Sound sound;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::size_t size = Le32(bytes, at + 4);
        const std::size_t body = at + 8;
        if (bytes.compare(at, 4, "fmt ") == 0 && body + 16 <= bytes.size())
            std::memcpy(&sound.format, bytes.data() + body, 16);
        if (bytes.compare(at, 4, "data") == 0)
            sound.samples = bytes.substr(body, std::min(size, bytes.size() - body));
        at = body + size + (size & 1);
    }
    return sound;
}

void BM_ConvertMusic(benchmark::State& state) {
    const Sound music = ReadWave("wave/bgm1.wav");
    if (music.samples.empty() || music.format.nBlockAlign == 0) {
        state.SkipWithError("wave/bgm1.wav not found: run from the repository root");
        return;
    }
    std::vector<std::int16_t> out;
    for (auto _ : state) {
        if (!ConvertToMix(music.format, reinterpret_cast<const BYTE*>(music.samples.data()),
                          music.samples.size(), &out))
            state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(music.samples.size()));
    state.counters["mixed_bytes"] = static_cast<double>(out.size() * sizeof out[0]);
}
BENCHMARK(BM_ConvertMusic)->Unit(benchmark::kMillisecond);

// The same music as if it came at another rate: what a sound costs that needs resampling.
void BM_ConvertMusicResampled(benchmark::State& state) {
    Sound music = ReadWave("wave/bgm1.wav");
    if (music.samples.empty() || music.format.nBlockAlign == 0) {
        state.SkipWithError("wave/bgm1.wav not found: run from the repository root");
        return;
    }
    music.format.nSamplesPerSec = static_cast<DWORD>(state.range(0));
    std::vector<std::int16_t> out;
    for (auto _ : state) {
        ConvertToMix(music.format, reinterpret_cast<const BYTE*>(music.samples.data()),
                     music.samples.size(), &out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(music.samples.size()));
}
BENCHMARK(BM_ConvertMusicResampled)->Arg(44100)->Unit(benchmark::kMillisecond);

// One flip's worth of the mix (368 frames) with eight looping buffers: the music and seven
// short sounds at different volumes, as in a busy round.
void BM_MixOneFrameEightBuffers(benchmark::State& state) {
    const Sound music = ReadWave("wave/bgm1.wav");
    if (music.samples.empty() || music.format.nBlockAlign == 0) {
        state.SkipWithError("wave/bgm1.wav not found: run from the repository root");
        return;
    }
    g_Options.headless = true;
    LPDIRECTSOUND ds = nullptr;
    DirectSoundCreate(nullptr, &ds, nullptr);
    std::vector<LPDIRECTSOUNDBUFFER> buffers;
    for (int i = 0; i < 8; ++i) {
        // The music whole, then pieces of it of 0.1 s and more.
        const std::size_t bytes = i == 0 ? music.samples.size() : 4410u * (i + 1);
        WAVEFORMATEX format = music.format;
        DSBUFFERDESC desc{sizeof(DSBUFFERDESC),
                          DSBCAPS_STATIC | DSBCAPS_CTRLVOLUME,
                          static_cast<DWORD>(bytes),
                          0,
                          &format,
                          {}};
        LPDIRECTSOUNDBUFFER b = nullptr;
        if (ds->CreateSoundBuffer(&desc, &b, nullptr) != DS_OK) {
            state.SkipWithError("no buffer");
            return;
        }
        void* p = nullptr;
        DWORD n = 0;
        b->Lock(0, desc.dwBufferBytes, &p, &n, nullptr, nullptr, 0);
        std::memcpy(p, music.samples.data(), n);
        b->Unlock(p, n, nullptr, 0);
        b->SetVolume(-250 * i);
        b->Play(0, 0, DSBPLAY_LOOPING);
        buffers.push_back(b);
    }
    constexpr int kFrames = (MIX_RATE + 59) / 60;
    std::int16_t out[kFrames * MIX_CHANNELS];
    for (auto _ : state) {
        MixAudio(out, kFrames);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    ds->Release();
}
BENCHMARK(BM_MixOneFrameEightBuffers)->Unit(benchmark::kMicrosecond);

}  // namespace
