#pragma once
// Shared by the sound tests: crafted WAVE files, a scratch directory, the error log's
// codes, and rendering the mix without a device.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "media/load_report.h"
#include "platform/services/options.h"
#include "platform/stand_in/sound_mixer.h"
#include "shell/error_log.h"

namespace soundtest {

inline std::string Le32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
    return s;
}

inline std::string Le16(std::uint16_t v) {
    std::string s(2, '\0');
    s[0] = static_cast<char>(v);
    s[1] = static_cast<char>(v >> 8);
    return s;
}

// A 16-byte PCM format record with consistent block size and byte rate.
inline std::string FormatRecord(int channels, int bits, std::uint32_t rate, int tag = 1) {
    const int block = channels * bits / 8;
    return Le16(static_cast<std::uint16_t>(tag)) + Le16(static_cast<std::uint16_t>(channels)) +
           Le32(rate) + Le32(rate * static_cast<std::uint32_t>(block)) +
           Le16(static_cast<std::uint16_t>(block)) + Le16(static_cast<std::uint16_t>(bits));
}

inline std::string Chunk(const std::string& tag, const std::string& payload) {
    return tag + Le32(static_cast<std::uint32_t>(payload.size())) + payload;
}

// "RIFF", R = body size + 4, "WAVE", body.
inline std::string Riff(const std::string& body) {
    return "RIFF" + Le32(static_cast<std::uint32_t>(body.size() + 4)) + "WAVE" + body;
}

inline std::string Wave(const std::string& samples, int channels = 1, int bits = 16,
                        std::uint32_t rate = 22050) {
    return Riff(Chunk("fmt ", FormatRecord(channels, bits, rate)) + Chunk("data", samples));
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// A fresh directory under the system's temporary folder.
inline std::string TempDir() {
    char pattern[] = "/tmp/zumble_sound_XXXXXX";
    const char* dir = mkdtemp(pattern);
    return dir ? dir : "/tmp";
}

// Every message the global error log holds, in order (read back from its file).
inline std::vector<std::string> LoggedCodes() {
    const std::string path = TempDir() + "/error.txt";
    errorLog.WriteTo(path.c_str());
    const std::string text = ReadFile(path);
    std::remove(path.c_str());
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    std::vector<std::string> codes;
    std::size_t i = 0;
    while (i < lines.size() && lines[i] != std::string(30, '-')) ++i;
    for (i += 2; i < lines.size() && !lines[i].empty(); ++i) codes.push_back(lines[i]);
    return codes;
}

// The codes added since the log held `before` messages.
inline std::vector<std::string> CodesSince(int before) {
    std::vector<std::string> all = LoggedCodes();
    return std::vector<std::string>(all.begin() + std::min<std::size_t>(before, all.size()),
                                    all.end());
}

using Codes = std::vector<std::string>;

// Renders frames of the mix (stereo interleaved) as the per-flip path would.
inline std::vector<std::int16_t> Render(int frames) {
    std::vector<std::int16_t> out(static_cast<std::size_t>(frames) * MIX_CHANNELS);
    MixAudio(out.data(), frames);
    return out;
}

// Fills a buffer of the given format with raw sample bytes (as LoadWave does).
inline LPDIRECTSOUNDBUFFER MakeBuffer(LPDIRECTSOUND ds, const std::string& samples, int channels,
                                      int bits, std::uint32_t rate) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = rate;
    format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    format.nAvgBytesPerSec = rate * format.nBlockAlign;
    format.wBitsPerSample = static_cast<WORD>(bits);
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_STATIC | DSBCAPS_CTRLVOLUME;
    desc.dwBufferBytes = static_cast<DWORD>(samples.size());
    desc.lpwfxFormat = &format;
    LPDIRECTSOUNDBUFFER buffer = nullptr;
    if (ds->CreateSoundBuffer(&desc, &buffer, nullptr) != DS_OK) return nullptr;
    void* p = nullptr;
    DWORD n = 0;
    if (buffer->Lock(0, desc.dwBufferBytes, &p, &n, nullptr, nullptr, 0) != DS_OK) return nullptr;
    std::copy(samples.begin(), samples.begin() + n, static_cast<char*>(p));
    buffer->Unlock(p, n, nullptr, 0);
    return buffer;
}

// The buffer's own sample bytes, read back through Lock.
inline std::string BufferBytes(LPDIRECTSOUNDBUFFER buffer, DWORD bytes) {
    void* p = nullptr;
    DWORD n = 0;
    if (buffer->Lock(0, bytes, &p, &n, nullptr, nullptr, 0) != DS_OK) return "";
    std::string s(static_cast<const char*>(p), n);
    buffer->Unlock(p, n, nullptr, 0);
    return s;
}

// A sine of the given frequency and length, as PCM bytes of the given format; with
// rightSilent the second channel of a stereo source stays silent.
inline std::string Sine(double hz, double seconds, int channels, int bits, std::uint32_t rate,
                        double amplitude = 0.5, bool rightSilent = false) {
    const long frames = std::lround(seconds * rate);
    std::string out;
    for (long i = 0; i < frames; ++i) {
        const double v = amplitude * std::sin(2 * M_PI * hz * static_cast<double>(i) / rate);
        for (int c = 0; c < channels; ++c) {
            const double x = (c == 1 && rightSilent) ? 0.0 : v;
            if (bits == 8)
                out += static_cast<char>(static_cast<std::uint8_t>(std::lround(128 + 127 * x)));
            else
                out += Le16(
                    static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(32767 * x))));
        }
    }
    return out;
}

}  // namespace soundtest
