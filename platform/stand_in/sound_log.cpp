// --sound-log: every play, loop, stop and volume change the game makes, with the frame
// it happened in and the slot's name.

#include <cstdio>

#include "platform/services/options.h"
#include "platform/services/tester_file.h"
#include "platform/stand_in/runtime.h"
#include "platform/stand_in/sound_mixer.h"

namespace {

std::FILE* g_Log = nullptr;
bool g_Tried = false;

}  // namespace

void SoundLogOpen() {
    if (g_Tried || g_Options.soundLog.empty()) return;
    g_Tried = true;
    // Binary: the same bytes, with "\n" line ends, on every platform.
    g_Log = OpenTesterFile(g_Options.soundLog.c_str(), "wb");
    if (g_Log == nullptr)
        std::fprintf(stderr, "zumble: cannot write the sound log %s\n", g_Options.soundLog.c_str());
}

void SoundLogOp(const IDirectSoundBuffer::State& buffer, const char* op) {
    if (g_Log == nullptr) return;
    std::fprintf(g_Log, "frame=%lld slot=%s op=%s\n", FlipCount(), buffer.logName, op);
}

void SoundLogVolume(const IDirectSoundBuffer::State& buffer, LONG value) {
    if (g_Log == nullptr) return;
    std::fprintf(g_Log, "frame=%lld slot=%s op=volume value=%ld\n", FlipCount(), buffer.logName,
                 static_cast<long>(value));
}

void SoundLogFlush() {
    if (g_Log != nullptr) std::fflush(g_Log);
}

void SoundLogClose() {
    SoundLogOpen();  // a run that never made DirectSound still leaves its (empty) log
    if (g_Log != nullptr) std::fclose(g_Log);
    g_Log = nullptr;
}
