// What a headless run leaves for inspection: the sound log's lines and the recording of
// the mix, a frame's worth per flip.

#include "platform/stand_in/sound_log.h"

#include "platform/stand_in/runtime.h"
#include "platform/stand_in/sound_mixer.h"
#include "tests/support/sound_test_helpers.h"

using namespace soundtest;

namespace {

std::uint32_t Get32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
    return v;
}

TEST(SoundLog, OperationsAreLoggedAndFlipsRecordedAFrameAtATime) {
    const std::string dir = TempDir();
    g_Options.headless = true;
    g_Options.soundLog = dir + "/sound.log";
    g_Options.audioOut = dir + "/out.wav";
    LPDIRECTSOUND ds = nullptr;
    ASSERT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
    // A full-scale square wave of 0.01 s, looping.
    std::string samples;
    for (int i = 0; i < 441; ++i) samples += Le16(i % 100 < 50 ? 0x7FFF : 0x8001);
    LPDIRECTSOUNDBUFFER b = MakeBuffer(ds, samples, 1, 16, 44100);
    ASSERT_NE(b, nullptr);
    SetSoundLogName(b, "SND_HIT_2");
    b->SetVolume(-600);
    b->Play(0, 0, DSBPLAY_LOOPING);
    b->Play(0, 0, 0);
    b->GetStatus(nullptr);  // asking is not an operation on the sound
    AudioOnFlip();
    AudioOnFlip();
    b->Stop();
    AudioOnFlip();
    ds->Release();
    AudioShutdown();

    EXPECT_EQ(ReadFile(g_Options.soundLog),
              "frame=0 slot=SND_HIT_2 op=volume value=-600\n"
              "frame=0 slot=SND_HIT_2 op=loop\n"
              "frame=0 slot=SND_HIT_2 op=play\n"
              "frame=0 slot=SND_HIT_2 op=stop\n");

    // Flip n ends at floor(n * MIX_RATE / 60) frames of the mix: 367 and 368 in turn.
    const std::size_t flip1 = MIX_RATE / 60, flip2 = 2 * MIX_RATE / 60, flip3 = 3 * MIX_RATE / 60;
    ASSERT_EQ(flip3, 1102u);
    const std::string wav = ReadFile(g_Options.audioOut);
    ASSERT_EQ(wav.size(), 44u + flip3 * 4);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(Get32(wav, 4), wav.size() - 8);
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(Get32(wav, 24), 22050u);
    EXPECT_EQ(Get32(wav, 28), 22050u * 4) << "bytes per second";
    EXPECT_EQ(wav.substr(36, 4), "data");
    EXPECT_EQ(Get32(wav, 40), flip3 * 4);
    // Two flips of the square at half amplitude, then one of silence.
    auto sample = [&](std::size_t frame) {
        return static_cast<std::int16_t>(static_cast<unsigned char>(wav[44 + 4 * frame]) |
                                         static_cast<unsigned char>(wav[45 + 4 * frame]) << 8);
    };
    ASSERT_EQ(flip2 - flip1, flip1 + 1);
    int loud = 0;
    for (std::size_t f = 0; f < flip2; ++f) loud += std::abs(sample(f)) > 15000;
    EXPECT_GT(loud, static_cast<int>(flip2 * 9 / 10));
    int quiet = 0;
    for (std::size_t f = flip2; f < flip3; ++f) quiet += sample(f) == 0;
    EXPECT_EQ(quiet, static_cast<int>(flip3 - flip2));
}

}  // namespace
