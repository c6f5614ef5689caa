// Wave-out: three blocks of 256 frames at the mix's own rate go round between the device
// and a feeding thread. Each block the device finishes is refilled from the core's mix and
// queued again at once, so the sound a swat starts is at most three blocks (35 ms) away.
#include "platform/win32/win32_audio.h"

#include "platform/win32/win32_api.h"

#include <mmsystem.h>

#include <cstdio>

namespace {

constexpr int kBlocks = 3;
constexpr int kBlockFrames = 256;
constexpr int kMaxChannels = 2;

HWAVEOUT g_device = nullptr;
HANDLE g_wake = nullptr;  // the device signals it when a block is done
HANDLE g_thread = nullptr;
volatile LONG g_stop = 0;
Win32AudioPull g_pull = nullptr;
WAVEHDR g_headers[kBlocks];
std::int16_t g_samples[kBlocks][kBlockFrames * kMaxChannels];
DWORD g_blockBytes = 0;

void Queue(WAVEHDR& header, std::int16_t* samples) {
    g_pull(samples, kBlockFrames);
    header.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
    waveOutWrite(g_device, &header, sizeof header);
}

DWORD WINAPI Feed(void*) {
    while (!InterlockedCompareExchange(&g_stop, 0, 0)) {
        WaitForSingleObject(g_wake, INFINITE);
        for (int i = 0; i < kBlocks && !InterlockedCompareExchange(&g_stop, 0, 0); ++i)
            if (g_headers[i].dwFlags & WHDR_DONE) Queue(g_headers[i], g_samples[i]);
    }
    return 0;
}

}  // namespace

bool Win32OpenAudio(Win32AudioPull pull, int rate, int channels) {
    if (g_device) return true;
    if (channels < 1 || channels > kMaxChannels) return false;
    g_pull = pull;
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(channels * 2);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    g_blockBytes = static_cast<DWORD>(kBlockFrames * channels * 2);
    g_wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const MMRESULT opened =
        g_wake ? waveOutOpen(&g_device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(g_wake),
                             0, CALLBACK_EVENT)
               : MMSYSERR_NOMEM;
    if (opened != MMSYSERR_NOERROR) {
        std::fprintf(stderr, "zumble: no audio device (wave-out error %u); running without sound\n",
                     static_cast<unsigned>(opened));
        g_device = nullptr;
        if (g_wake) CloseHandle(g_wake);
        g_wake = nullptr;
        return false;
    }
    // Nothing is queued before the feeding thread runs: without it the device would stay
    // open and silent, so the game is told it has no sound, as when the device is missing.
    g_stop = 0;
    g_thread = CreateThread(nullptr, 0, Feed, nullptr, CREATE_SUSPENDED, nullptr);
    if (!g_thread) {
        std::fprintf(stderr,
                     "zumble: no audio device (the wave-out thread did not start, error %lu); "
                     "running without sound\n",
                     static_cast<unsigned long>(GetLastError()));
        waveOutClose(g_device);
        CloseHandle(g_wake);
        g_device = nullptr;
        g_wake = nullptr;
        return false;
    }
    for (int i = 0; i < kBlocks; ++i) {
        g_headers[i] = WAVEHDR{};
        g_headers[i].lpData = reinterpret_cast<LPSTR>(g_samples[i]);
        g_headers[i].dwBufferLength = g_blockBytes;
        waveOutPrepareHeader(g_device, &g_headers[i], sizeof g_headers[i]);
        Queue(g_headers[i], g_samples[i]);
    }
    SetThreadPriority(g_thread, THREAD_PRIORITY_TIME_CRITICAL);
    ResumeThread(g_thread);
    return true;
}

void Win32CloseAudio() {
    if (!g_device) return;
    InterlockedExchange(&g_stop, 1);
    SetEvent(g_wake);
    if (g_thread) {
        WaitForSingleObject(g_thread, INFINITE);
        CloseHandle(g_thread);
    }
    g_thread = nullptr;
    waveOutReset(g_device);  // every block comes back done
    for (WAVEHDR& header : g_headers) waveOutUnprepareHeader(g_device, &header, sizeof header);
    waveOutClose(g_device);
    CloseHandle(g_wake);
    g_device = nullptr;
    g_wake = nullptr;
}
