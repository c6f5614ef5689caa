// --audio-out: the headless mix, written as it is rendered, as a 16-bit stereo WAV file.

#include <cstdio>
#include <cstring>

#include "platform/services/options.h"
#include "platform/services/tester_file.h"
#include "platform/stand_in/sound_mixer.h"

namespace {

std::FILE* g_Out = nullptr;
bool g_Tried = false;
unsigned long long g_DataBytes = 0;

void Put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

void Put16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void WriteHeader() {
    unsigned char h[44];
    const std::uint32_t data = g_DataBytes > 0xFFFFFFFFull - 36
                                   ? 0xFFFFFFFFu - 36
                                   : static_cast<std::uint32_t>(g_DataBytes);
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, 36 + data);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 16);
    Put16(h + 20, WAVE_FORMAT_PCM);
    Put16(h + 22, MIX_CHANNELS);
    Put32(h + 24, MIX_RATE);
    Put32(h + 28, MIX_RATE * MIX_CHANNELS * 2);
    Put16(h + 32, MIX_CHANNELS * 2);
    Put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, data);
    std::fwrite(h, 1, sizeof h, g_Out);
}

void OpenRecording() {
    if (g_Tried || g_Options.audioOut.empty()) return;
    g_Tried = true;
    g_Out = OpenTesterFile(g_Options.audioOut.c_str(), "wb");
    if (g_Out == nullptr) {
        std::fprintf(stderr, "zumble: cannot write %s\n", g_Options.audioOut.c_str());
        return;
    }
    WriteHeader();  // sizes filled in by RecordFinish
}

}  // namespace

void RecordFrames(const std::int16_t* samples, int frames) {
    OpenRecording();
    if (g_Out == nullptr) return;
    unsigned char bytes[4];
    for (int i = 0; i < frames * MIX_CHANNELS; ++i) {
        Put16(bytes, static_cast<std::uint16_t>(samples[i]));
        std::fwrite(bytes, 1, 2, g_Out);
    }
    g_DataBytes += static_cast<unsigned long long>(frames) * MIX_CHANNELS * 2;
}

void RecordFinish() {
    OpenRecording();  // a run without a single flip still leaves a valid, empty file
    if (g_Out == nullptr) return;
    std::fseek(g_Out, 0, SEEK_SET);
    WriteHeader();
    std::fclose(g_Out);
    g_Out = nullptr;
}
