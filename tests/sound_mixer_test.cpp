// The mixer, judged by what it renders: level, looping, play/stop semantics, refills in
// place, and the pitch and length of every source format.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/stand_in/runtime.h"
#include "tests/support/sound_test_helpers.h"

using namespace soundtest;

namespace {

class Mixer : public ::testing::Test {
protected:
    void SetUp() override {
        g_Options.headless = true;
        ASSERT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
    }
    void TearDown() override { ds->Release(); }
    LPDIRECTSOUND ds = nullptr;
};

int Peak(const std::vector<std::int16_t>& s, int channel = -1) {
    int peak = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (channel >= 0 && static_cast<int>(i % 2) != channel) continue;
        peak = std::max(peak, std::abs(static_cast<int>(s[i])));
    }
    return peak;
}

// Frames (from the start) up to the last one louder than the threshold.
long SoundingFrames(const std::vector<std::int16_t>& s, int threshold) {
    for (long f = static_cast<long>(s.size() / 2) - 1; f >= 0; --f) {
        if (std::abs(s[2 * f]) > threshold || std::abs(s[2 * f + 1]) > threshold) return f + 1;
    }
    return 0;
}

// Rising zero crossings of the left channel between two frames.
int Crossings(const std::vector<std::int16_t>& s, long from, long to) {
    int n = 0;
    for (long f = from + 1; f < to; ++f)
        if (s[2 * (f - 1)] < 0 && s[2 * f] >= 0) ++n;
    return n;
}

std::vector<std::int16_t> Concat(std::vector<std::int16_t> a, const std::vector<std::int16_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(Mixer, VolumeIsAttenuationInHundredthsOfADecibel) {
    LPDIRECTSOUNDBUFFER b = MakeBuffer(ds, Sine(1000, 0.5, 1, 16, 44100), 1, 16, 44100);
    ASSERT_NE(b, nullptr);
    b->Play(0, 0, DSBPLAY_LOOPING);
    const int full = Peak(Render(4410));
    EXPECT_NEAR(full, 16384, 300);
    b->SetVolume(-600);
    EXPECT_NEAR(Peak(Render(4410)) / static_cast<double>(full), 0.5012, 0.01);
    b->SetVolume(-2000);
    EXPECT_NEAR(Peak(Render(4410)) / static_cast<double>(full), 0.1, 0.01);
    b->SetVolume(-10000);
    EXPECT_EQ(Peak(Render(4410)), 0);
    EXPECT_EQ(b->SetVolume(1), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->SetVolume(-10001), DSERR_INVALIDPARAM);
    LONG v = 0;
    b->GetVolume(&v);
    EXPECT_EQ(v, -10000);
    b->Release();
}

TEST_F(Mixer, ALoopKeepsSoundingAndAOneShotEnds) {
    LPDIRECTSOUNDBUFFER loop = MakeBuffer(ds, Sine(500, 0.1, 1, 16, 22050), 1, 16, 22050);
    LPDIRECTSOUNDBUFFER once = MakeBuffer(ds, Sine(500, 0.1, 1, 16, 22050), 1, 16, 22050);
    ASSERT_NE(loop, nullptr);
    ASSERT_NE(once, nullptr);
    loop->Play(0, 0, DSBPLAY_LOOPING);
    const std::vector<std::int16_t> looped = Render(MIX_RATE);
    // Still sounding in the last twentieth of a second, ten loops on.
    EXPECT_GT(Peak(std::vector<std::int16_t>(looped.end() - MIX_RATE / 10, looped.end())), 15000);
    loop->Stop();
    EXPECT_EQ(Peak(Render(100)), 0);

    once->Play(0, 0, 0);
    const std::vector<std::int16_t> single = Render(MIX_RATE / 2);
    EXPECT_NEAR(SoundingFrames(single, 200), MIX_RATE / 10, 30);
    loop->Release();
    once->Release();
}

TEST_F(Mixer, PlayStopAndReplayKeepTheirPositions) {
    const std::string samples = Sine(300, 0.2, 1, 16, 44100, 0.5);
    LPDIRECTSOUNDBUFFER ref = MakeBuffer(ds, samples, 1, 16, 44100);
    ASSERT_NE(ref, nullptr);
    ref->Play(0, 0, 0);
    const int past = MIX_RATE / 5 + MIX_RATE / 50;  // past the end (MIX_RATE / 5 frames)
    const std::vector<std::int16_t> whole = Render(past);
    ASSERT_EQ(Peak(std::vector<std::int16_t>(whole.end() - 100, whole.end())), 0);
    ASSERT_GT(Peak(whole), 15000);

    // A finished one-shot plays again from its start.
    ref->Play(0, 0, 0);
    EXPECT_EQ(Render(past), whole);

    // Play on a playing buffer does not restart it.
    ref->Play(0, 0, 0);
    std::vector<std::int16_t> out = Render(past / 3);
    ref->Play(0, 0, 0);
    out = Concat(out, Render(past - past / 3));
    EXPECT_EQ(out, whole);

    // Stop keeps the position: playing again goes on from there.
    ref->Play(0, 0, 0);
    out = Render(past / 4);
    ref->Stop();
    EXPECT_EQ(Peak(Render(MIX_RATE / 40)), 0);
    ref->Play(0, 0, 0);
    out = Concat(out, Render(past - past / 4));
    EXPECT_EQ(out, whole);
    ref->Release();
}

TEST_F(Mixer, ARefillWhilePlayingGoesOnWithoutAGap) {
    const std::string samples = Sine(440, 0.3, 2, 16, 48000);
    LPDIRECTSOUNDBUFFER b = MakeBuffer(ds, samples, 2, 16, 48000);
    ASSERT_NE(b, nullptr);
    b->Play(0, 0, DSBPLAY_LOOPING);
    const int total = MIX_RATE * 45 / 100;  // one and a half loops
    const int before = total * 7 / 20;      // the refill comes in the first loop
    const std::vector<std::int16_t> whole = Render(total);
    b->Stop();
    // Back to the start: let it run out as a one-shot, then loop again.
    b->Play(0, 0, 0);
    Render(MIX_RATE);
    b->Play(0, 0, DSBPLAY_LOOPING);
    std::vector<std::int16_t> out = Render(before);
    void* p = nullptr;
    DWORD n = 0;
    ASSERT_EQ(b->Lock(0, static_cast<DWORD>(samples.size()), &p, &n, nullptr, nullptr, 0), DS_OK);
    ASSERT_EQ(n, samples.size());
    std::copy(samples.begin(), samples.end(), static_cast<char*>(p));
    ASSERT_EQ(b->Unlock(p, n, nullptr, 0), DS_OK);
    out = Concat(out, Render(total - before));
    EXPECT_EQ(out, whole);
    b->Release();
}

TEST_F(Mixer, EverySourceFormatComesOutAtItsPitchAndLength) {
    for (int bits : {8, 16}) {
        for (int channels : {1, 2}) {
            for (std::uint32_t rate : {11025u, 22050u, 32000u, 44100u, 48000u}) {
                SCOPED_TRACE(::testing::Message()
                             << bits << " bit, " << channels << " ch, " << rate);
                // 0.25 s of 600 Hz on the left; a stereo source keeps its right side silent.
                LPDIRECTSOUNDBUFFER b =
                    MakeBuffer(ds, Sine(600, 0.25, channels, bits, rate, 0.5, channels == 2),
                               channels, bits, rate);
                ASSERT_NE(b, nullptr);
                b->Play(0, 0, 0);
                const std::vector<std::int16_t> out = Render(MIX_RATE / 2);
                EXPECT_NEAR(SoundingFrames(out, 1000), MIX_RATE / 4, MIX_RATE / 200);
                // 600 Hz over the middle 0.2 s: 120 rising crossings.
                EXPECT_NEAR(Crossings(out, MIX_RATE / 40, MIX_RATE / 40 + MIX_RATE / 5), 120, 1);
                EXPECT_NEAR(Peak(out, 0), 16384, 800);
                if (channels == 2)
                    EXPECT_LT(Peak(out, 1), 200);
                else
                    EXPECT_EQ(Peak(out, 1), Peak(out, 0));
                DWORD status = 1;
                b->GetStatus(&status);
                EXPECT_EQ(status, 0u);
                b->Release();
            }
        }
    }
}

TEST_F(Mixer, ASoundAtTheMixRateComesOutSampleForSample) {
    // Levels that pass through the mix unchanged but for the full-scale factor.
    const std::int16_t levels[] = {0, 1000, -1000, 32767, -32768, 12345, -20000, 7};
    std::string samples;
    for (std::int16_t v : levels) samples += Le16(static_cast<std::uint16_t>(v));
    LPDIRECTSOUNDBUFFER b = MakeBuffer(ds, samples, 1, 16, MIX_RATE);
    ASSERT_NE(b, nullptr);
    b->Play(0, 0, 0);
    const std::vector<std::int16_t> out = Render(10);
    for (int i = 0; i < 8; ++i) {
        const auto want = static_cast<std::int16_t>(std::lrint(levels[i] * 32767.0 / 32768.0));
        EXPECT_EQ(out[2 * i], want) << "frame " << i;
        EXPECT_EQ(out[2 * i + 1], want) << "frame " << i;
    }
    EXPECT_EQ(out[16], 0);
    b->Release();

    // Stereo keeps its sides apart; 8-bit sounds at the mix rate are not resampled either.
    std::string stereo;
    for (int i = 0; i < 100; ++i) stereo += Le16(8000) + Le16(static_cast<std::uint16_t>(-16000));
    b = MakeBuffer(ds, stereo, 2, 16, MIX_RATE);
    ASSERT_NE(b, nullptr);
    b->Play(0, 0, 0);
    const std::vector<std::int16_t> two = Render(101);
    EXPECT_EQ(two[0], 8000);
    EXPECT_EQ(two[1], -16000);
    EXPECT_EQ(two[198], 8000);
    EXPECT_EQ(two[199], -16000);
    EXPECT_EQ(two[200], 0);
    b->Release();
    b = MakeBuffer(ds, std::string(50, '\xC0') + std::string(50, '\x40'), 1, 8, MIX_RATE);
    ASSERT_NE(b, nullptr);
    b->Play(0, 0, 0);
    const std::vector<std::int16_t> eight = Render(101);
    EXPECT_NEAR(eight[0], 16384, 200);
    EXPECT_NEAR(eight[2 * 99], -16384, 200);
    EXPECT_EQ(SoundingFrames(eight, 0), 100);
    b->Release();
}

// Amplitude of one frequency in a run of mono samples: a single bin of a DFT.
double ToneAmplitude(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to,
                     double hz) {
    const double w = 2 * M_PI * hz / MIX_RATE;
    double re = 0, im = 0;
    for (std::size_t i = from; i < to; ++i) {
        re += s[i] * std::cos(w * static_cast<double>(i));
        im -= s[i] * std::sin(w * static_cast<double>(i));
    }
    return 2 * std::hypot(re, im) / static_cast<double>(to - from) / 32767.0;
}

std::vector<std::int16_t> Converted(const std::string& samples, std::uint32_t rate) {
    WAVEFORMATEX f{WAVE_FORMAT_PCM, 1, rate, rate * 2, 2, 16, 0};
    std::vector<std::int16_t> out;
    EXPECT_TRUE(
        ConvertToMix(f, reinterpret_cast<const BYTE*>(samples.data()), samples.size(), &out));
    return out;
}

TEST(Converter, ToneAboveTheNewBandIsFilteredOutAndImagesAreNotMade) {
    // Over a whole number of cycles of each tone, away from the ends.
    const std::size_t from = MIX_RATE / 10, to = from + MIX_RATE / 2;
    // 44.1 kHz to the mix rate: a 15 kHz tone would fold back to 7050 Hz; 1 kHz passes.
    std::vector<std::int16_t> out = Converted(Sine(15000, 1.0, 1, 16, 44100), 44100);
    ASSERT_NEAR(static_cast<double>(out.size()), MIX_RATE, 1);
    EXPECT_LT(ToneAmplitude(out, from, to, 7050), 0.5 * 0.01);  // 40 dB down
    out = Converted(Sine(1000, 1.0, 1, 16, 44100), 44100);
    EXPECT_NEAR(ToneAmplitude(out, from, to, 1000), 0.5, 0.5 * 0.06);
    // 11025 Hz up to the mix rate: a tone at f would leave an image at 11025 - f.
    for (double hz : {3000.0, 5000.0}) {
        SCOPED_TRACE(hz);
        out = Converted(Sine(hz, 1.0, 1, 16, 11025), 11025);
        ASSERT_NEAR(static_cast<double>(out.size()), MIX_RATE, 2);
        EXPECT_LT(ToneAmplitude(out, from, to, 11025 - hz), 0.5 * 0.01);
        if (hz == 3000.0) {
            EXPECT_NEAR(ToneAmplitude(out, from, to, hz), 0.5, 0.5 * 0.06);
        }
    }
}

TEST(Converter, EachRateGivesItsExactLengthAndAFlatLevelThroughEveryTap) {
    // A constant level: the filter passes it unchanged away from the ends, and the last
    // input frames weigh on the last output frames as the first ones do on the first.
    struct Case {
        std::uint32_t rate;
        std::size_t inFrames;
        std::size_t outFrames;  // inFrames * MIX_RATE / rate, rounded down
    };
    const Case cases[] = {
        {11025, 3, 6},      {44100, 3, 1},      {44100, 4001, 2000}, {32000, 1000, 689},
        {7350, 1000, 3000}, {4001, 1000, 5511}, {48000, 1000, 459},  {11025, 1000, 2000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        std::string samples;
        for (std::size_t i = 0; i < c.inFrames; ++i) samples += Le16(16384);
        const std::vector<std::int16_t> out = Converted(samples, c.rate);
        ASSERT_EQ(out.size(), c.outFrames);
        if (c.inFrames < 1000) continue;
        // Away from the ends (the filter reaches 80 input frames at most here).
        const std::size_t margin = 80 * MIX_RATE / c.rate + 2;
        for (std::size_t n = margin; n + margin < out.size(); ++n)
            ASSERT_NEAR(out[n], 16384, 4) << "frame " << n;
        if (c.rate * 3 != MIX_RATE && c.rate * 2 != MIX_RATE) continue;
        // Output frames on whole input frames: the first and the one on the last input
        // frame see the same half of the filter.
        const std::size_t step = MIX_RATE / c.rate;
        const std::size_t last = (c.inFrames - 1) * step;
        ASSERT_LT(last, out.size());
        EXPECT_NEAR(out[last], out[0], 2);
        EXPECT_NEAR(out[last - step], out[step], 2);
        EXPECT_GT(out[0], 16384 / 3);
    }
}

TEST_F(Mixer, TwoFullScaleSoundsClipInsteadOfWrapping) {
    for (std::int16_t level : {std::int16_t{32767}, std::int16_t{-32768}}) {
        SCOPED_TRACE(level);
        std::string samples;
        for (int i = 0; i < 64; ++i) samples += Le16(static_cast<std::uint16_t>(level));
        LPDIRECTSOUNDBUFFER a = MakeBuffer(ds, samples, 1, 16, MIX_RATE);
        LPDIRECTSOUNDBUFFER b = MakeBuffer(ds, samples, 1, 16, MIX_RATE);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        a->Play(0, 0, 0);
        b->Play(0, 0, 0);
        const std::vector<std::int16_t> out = Render(64);
        const std::int16_t clipped = level > 0 ? 32767 : -32768;
        for (std::size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], clipped) << "sample " << i;
        a->Release();
        b->Release();
    }
}

TEST_F(Mixer, BuffersKeepTheirSamplesCompact) {
    // 16-bit mono at the mix rate, like the game's music: two bytes a frame, no more.
    const std::string samples = Sine(440, 2.0, 1, 16, MIX_RATE);
    LPDIRECTSOUNDBUFFER b = MakeBuffer(ds, samples, 1, 16, MIX_RATE);
    ASSERT_NE(b, nullptr);
    const IDirectSoundBuffer::State& s = *b->state;
    EXPECT_EQ(s.channels, 1);
    EXPECT_EQ(s.frames, samples.size() / 2);
    EXPECT_EQ(s.mixed.capacity() * sizeof s.mixed[0], samples.size());
    b->Release();
    // A resampled one keeps no work room once converted.
    b = MakeBuffer(ds, Sine(440, 1.0, 2, 8, 11025), 2, 8, 11025);
    ASSERT_NE(b, nullptr);
    EXPECT_NEAR(static_cast<double>(b->state->frames), MIX_RATE, 4);
    EXPECT_LE(b->state->mixed.capacity(), b->state->mixed.size() * 9 / 8);
    b->Release();
}

TEST_F(Mixer, EachFlipAdvancesTheMixBySixtiethsOfASecondWithoutDrift) {
    // Two seconds of a loop: its position tells how far each flip took the mix.
    LPDIRECTSOUNDBUFFER b = MakeBuffer(ds, Sine(440, 2.0, 1, 16, MIX_RATE), 1, 16, MIX_RATE);
    ASSERT_NE(b, nullptr);
    b->Play(0, 0, DSBPLAY_LOOPING);
    const std::size_t start = b->state->position;
    int shortFlips = 0, longFlips = 0;
    for (int flip = 0; flip < 60; ++flip) {
        const std::size_t before = b->state->position;
        AudioOnFlip();
        const std::size_t step = b->state->position - before;
        if (step == MIX_RATE / 60)
            ++shortFlips;
        else if (step == MIX_RATE / 60 + 1)
            ++longFlips;
        else
            ADD_FAILURE() << "flip " << flip << " mixed " << step << " frames";
    }
    // Any sixty flips make exactly one second.
    EXPECT_EQ(b->state->position - start, static_cast<std::size_t>(MIX_RATE));
    EXPECT_EQ(longFlips, MIX_RATE % 60);
    EXPECT_EQ(shortFlips, 60 - MIX_RATE % 60);
    b->Release();
}

// Where each buffer stands after every step of one scenario (plays, restarts, a stop, a
// hold and its release, steps of uneven length), mixed or with nothing heard.
std::vector<std::size_t> PositionsOf(LPDIRECTSOUND ds, bool unheard) {
    SetSoundUnheard(unheard);
    LPDIRECTSOUNDBUFFER once = MakeBuffer(ds, Sine(440, 0.05, 1, 8, 11025), 1, 8, 11025);
    LPDIRECTSOUNDBUFFER stereo = MakeBuffer(ds, Sine(440, 0.03, 2, 16, 22050), 2, 16, 22050);
    LPDIRECTSOUNDBUFFER loop = MakeBuffer(ds, Sine(440, 0.02, 1, 16, 44100), 1, 16, 44100);
    std::vector<std::size_t> seen;
    std::vector<std::int16_t> out(2 * 600);
    for (int step = 0; step < 400; ++step) {
        if (step % 37 == 0) once->Play(0, 0, 0);
        if (step % 23 == 5) stereo->Play(0, 0, 0);
        if (step % 51 == 50) stereo->Stop();
        if (step == 3) loop->Play(0, 0, DSBPLAY_LOOPING);
        if (step == 150) HoldSound(true);
        if (step == 200) HoldSound(false);
        MixAudio(unheard ? nullptr : out.data(), 37 + step * 29 % 200);
        for (LPDIRECTSOUNDBUFFER b : {once, stereo, loop}) {
            DWORD status = 0;
            b->GetStatus(&status);
            seen.push_back(status);
            seen.push_back(b->state->position);
        }
    }
    EXPECT_EQ(once->state->mixed.empty(), unheard);
    for (LPDIRECTSOUNDBUFFER b : {once, stereo, loop}) b->Release();
    SetSoundUnheard(false);
    return seen;
}

TEST_F(Mixer, ARunNobodyHearsMovesEveryBufferOnAsMixingDoes) {
    const std::vector<std::size_t> mixed = PositionsOf(ds, false);
    EXPECT_EQ(PositionsOf(ds, true), mixed);
    // The scenario sees one-shots end and a hold stand the loop still.
    EXPECT_GT(std::count(mixed.begin(), mixed.end(), std::size_t{0}), 100);
}

TEST_F(Mixer, BuffersAreCreatedOnlyForPlayableFormats) {
    WAVEFORMATEX f{WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
    DSBUFFERDESC desc{sizeof(DSBUFFERDESC), DSBCAPS_STATIC, 400, 0, &f, {}};
    LPDIRECTSOUNDBUFFER b = nullptr;
    // The description carries its size: Windows' (40 bytes on 64-bit) or the older one
    // without guid3DAlgorithm, as DirectSound takes them; a 32-bit size is refused.
    EXPECT_EQ(sizeof(DSBUFFERDESC), sizeof(void*) == 8 ? 40u : 36u);
    for (DWORD size : {DWORD{0}, DWORD{36}, DWORD{sizeof(DSBUFFERDESC) + 4}}) {
        if (size == sizeof(DSBUFFERDESC)) continue;
        desc.dwSize = size;
        EXPECT_EQ(ds->CreateSoundBuffer(&desc, &b, nullptr), DSERR_INVALIDPARAM) << size;
        EXPECT_EQ(b, nullptr);
    }
    desc.dwSize = offsetof(DSBUFFERDESC, guid3DAlgorithm);
    ASSERT_EQ(ds->CreateSoundBuffer(&desc, &b, nullptr), DS_OK);
    b->Release();
    b = nullptr;
    desc.dwSize = sizeof(DSBUFFERDESC);
    ASSERT_EQ(ds->CreateSoundBuffer(&desc, &b, nullptr), DS_OK);
    // The buffer's region: one piece from the offset, never past the end.
    void* p1 = nullptr;
    void* p2 = reinterpret_cast<void*>(1);
    DWORD n1 = 0, n2 = 9;
    EXPECT_EQ(b->Lock(0, 401, &p1, &n1, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->Lock(0, 0, &p1, &n1, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
    ASSERT_EQ(b->Lock(300, 200, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(n1, 100u);
    EXPECT_EQ(n2, 100u);
    EXPECT_EQ(static_cast<char*>(p1) - static_cast<char*>(p2), 300);
    EXPECT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
    b->Release();

    // Before it is filled, a buffer plays its length of silence: 200 frames at 22050 Hz.
    ASSERT_EQ(ds->CreateSoundBuffer(&desc, &b, nullptr), DS_OK);
    b->Play(0, 0, 0);
    DWORD status = 0;
    EXPECT_EQ(Peak(Render(MIX_RATE * 200 / 22050 - 10)), 0);
    b->GetStatus(&status);
    EXPECT_EQ(status, DSBSTATUS_PLAYING);
    Render(20);
    b->GetStatus(&status);
    EXPECT_EQ(status, 0u);
    b->Release();

    struct Bad {
        WAVEFORMATEX f;
        DWORD bytes;
        // clang-format off
    } bad[] = {
        {{3, 1, 22050, 88200, 4, 32, 0}, 400},       // float
        {{WAVE_FORMAT_PCM, 0, 22050, 0, 0, 16, 0}, 400},
        {{WAVE_FORMAT_PCM, 1, 22050, 22050, 1, 7, 0}, 400},
        {{WAVE_FORMAT_PCM, 1, 0, 0, 2, 16, 0}, 400},
        {{WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 24, 0}, 400},
        {{WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0}, 0},
        {{WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0}, DSBSIZE_MAX + 1},
        {{WAVE_FORMAT_PCM, 1, 11025, 11025, 1, 8, 0}, DSBSIZE_MAX},  // 1 GiB once mixed
    };
    // clang-format on
    for (Bad& c : bad) {
        DSBUFFERDESC d{sizeof(DSBUFFERDESC), DSBCAPS_STATIC, c.bytes, 0, &c.f, {}};
        LPDIRECTSOUNDBUFFER none = nullptr;
        EXPECT_NE(ds->CreateSoundBuffer(&d, &none, nullptr), DS_OK);
        EXPECT_EQ(none, nullptr);
    }
}

}  // namespace

TEST_F(Mixer, ADeviceThreadMixesWhileTheGameChangesEveryBuffer) {
    // An audio device pulls the mix from its own thread, holding the mixer's lock as the
    // device's pull does, while the game makes, plays, turns down, refills, stops and
    // releases buffers. Built with ThreadSanitizer this finds any state the two share
    // without the lock; in any build, nothing is lost and nothing sounds at the end.
    // The music loops all along; short sounds come and go around it.
    LPDIRECTSOUNDBUFFER music = MakeBuffer(ds, Sine(300, 0.2, 1, 16, MIX_RATE), 1, 16, MIX_RATE);
    ASSERT_NE(music, nullptr);
    music->Play(0, 0, DSBPLAY_LOOPING);
    std::atomic<bool> done{false};
    std::atomic<int> pulls{0};
    std::atomic<int> loudest{0};
    std::thread device([&] {
        std::vector<std::int16_t> out(128 * MIX_CHANNELS);
        while (!done.load()) {
            MixerLock();
            MixAudio(out.data(), 128);
            MixerUnlock();
            loudest.store(std::max(loudest.load(), Peak(out)));
            pulls.fetch_add(1);
        }
    });
    const std::string samples = Sine(700, 0.05, 1, 16, MIX_RATE);
    int rounds = 0;
    // At least 200 rounds, and until the device has pulled many times during them.
    // The game's other work between its sound calls: the device mixes meanwhile, so a
    // change made without the lock meets the device's read unordered, which
    // ThreadSanitizer reports whatever the scheduling.
    const auto otherWork = [] { std::this_thread::sleep_for(std::chrono::microseconds(50)); };
    for (; rounds < 200 || (pulls.load() < 2000 && rounds < 200000); ++rounds) {
        // No ASSERT while the device thread runs: it must be joined.
        LPDIRECTSOUNDBUFFER b = MakeBuffer(ds, samples, 1, 16, MIX_RATE);
        if (b == nullptr) {
            ADD_FAILURE() << "no buffer in round " << rounds;
            break;
        }
        otherWork();
        b->Play(0, 0, rounds % 2 ? DSBPLAY_LOOPING : 0);
        otherWork();
        b->SetVolume(-100 * (rounds % 10));
        music->SetVolume(rounds % 7 ? 0 : -600);
        otherWork();
        DWORD status = 0;
        b->GetStatus(&status);
        void* p = nullptr;
        DWORD n = 0;
        if (b->Lock(0, static_cast<DWORD>(samples.size()), &p, &n, nullptr, nullptr, 0) == DS_OK) {
            std::copy(samples.begin(), samples.begin() + n, static_cast<char*>(p));
            EXPECT_EQ(b->Unlock(p, n, nullptr, 0), DS_OK);
        } else {
            ADD_FAILURE() << "no lock in round " << rounds;
        }
        otherWork();
        if (rounds % 3 == 0) b->Stop();
        otherWork();
        b->Release();
    }
    music->Stop();
    music->Release();
    done.store(true);
    device.join();
    EXPECT_GE(pulls.load(), 2000) << "the device thread hardly ran in " << rounds << " rounds";
    EXPECT_GT(loudest.load(), 0) << "no sound reached the device";
    EXPECT_EQ(Peak(Render(1024)), 0) << "a released buffer still sounds";
}
