#include "shell/driver/game_run.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/services/display_settings.h"
#include "platform/services/files.h"
#include "platform/services/master_volume.h"
#include "platform/services/options.h"
#include "platform/services/process_usage.h"
#include "platform/services/tester_file.h"
#include "platform/stand_in/backend.h"
#include "platform/stand_in/ddraw.h"
#include "platform/stand_in/runtime.h"
#include "platform/stand_in/sound_mixer.h"
#include "replay/history_list.h"
#include "replay/replay_list.h"
#include "replay/replay_play.h"
#include "replay/replay_record.h"
#include "replay/room_race.h"
#include "shell/autoplay.h"
#include "shell/driver/clip_run.h"
#include "shell/driver/room_entry.h"
#include "shell/driver/splits_run.h"
#include "shell/trace.h"
#include "shell/winmain.h"

namespace {

// PrepareRun, or with `atFirstInput` the verify stream's start: --verify without its
// replay, which each verification forked at the game's first look for input reads.
int Prepare(int argc, char** argv, void (*atFirstInput)()) {
    MarkProcessStart();
    std::string error;
    const int parsed = ParseOptions(argc, argv, &g_Options, &error);
    if (parsed == 1) return 0;
    if (parsed == 2) {
        std::fprintf(stderr, "zumble: %s\n", error.c_str());
        return 2;
    }
    if (g_Options.listReplays) {
        // The files a game started here would keep; nothing is written.
        FindGameData();
        return ListKeptReplays(stdout);
    }
    if (g_Options.listHistory) {
        FindGameData();
        return ListHistory(stdout, g_Options.historyFlies.c_str(), g_Options.historySpeed.c_str());
    }
    if (!g_Options.race.empty() &&
        !SetRaceReference(g_Options.race.c_str(), g_Options.raceName.c_str(), &error)) {
        std::fprintf(stderr, "zumble: --race %s: %s\n", g_Options.race.c_str(), error.c_str());
        return 2;
    }
    // The room is joined before anything opens, so that a refusal is one line and exit 2.
    std::string roomLive;
    const int joined = JoinRoomOfOptions(&roomLive);
    if (joined >= 0) return joined;
    const bool verify = !g_Options.verify.empty();
    const bool playback = verify || !g_Options.replay.empty();
    if (playback) {
        const int loaded =
            atFirstInput
                ? -1
                : LoadReplay((verify ? g_Options.verify : g_Options.replay).c_str(), verify);
        if (loaded >= 0) return loaded;
        // A replay is only watched: the player's best times and replays stay as they are.
        ForbidSaving();
        // Nobody sees a verified round.
        if (verify) SkipPixels(true);
    }
    if (!PlatformInit()) return 2;
    // Nobody hears a run on the headless backend that records no sound and makes no clip
    // (the page's scripted runs play theirs): its buffers only move on, as the mix would.
    SetSoundUnheard(&ActiveBackend() == &HeadlessBackend() && g_Options.audioOut.empty() &&
                    g_Options.clip.empty());
    // Output files are named from where the player started the game, even when the game
    // then moves to the folder that holds its data (or writes to the player's own).
    for (std::string* path :
         {&g_Options.trace, &g_Options.soundLog, &g_Options.audioOut, &g_Options.clip})
        if (!path->empty()) *path = AbsoluteTesterPath(*path);
    FindGameData();
    if (!g_Options.headless) UseSavedDisplay(&g_Options);
    SetMasterVolume(g_Options.volume, g_Options.muted);
    // Before the trace, so that a traced replay shows the tick of the frame it begins.
    if (playback) {
        StartReplayPlayback();
        RunAtFirstInput(atFirstInput);
    } else {
        StartReplayRecording();
        StartSplits();
        // After the recorder: each frame is recorded before it is sent to the room.
        const int entered = EnterJoinedRoom(roomLive);
        if (entered >= 0) return entered;
    }
    if (!g_Options.trace.empty() && !StartTrace(g_Options.trace.c_str())) {
        std::fprintf(stderr, "zumble: cannot write the trace file '%s'\n", g_Options.trace.c_str());
        return 2;
    }
    if (g_Options.autoplay) StartAutoplay();
    if (!g_Options.clip.empty()) {
        std::string why;
        if (!StartClip(&why)) {
            std::fprintf(stderr, "zumble: no clip: %s\n", why.c_str());
            return 2;
        }
    }
    return -1;
}

}  // namespace

int PrepareRun(int argc, char** argv) { return Prepare(argc, argv, nullptr); }

int PrepareVerifyStream(const char* program, void (*atFirstInput)()) {
    static char verify[] = "--verify", path[] = "/dev/fd/3";
    char* argv[] = {const_cast<char*>(program), verify, path, nullptr};
    return Prepare(3, argv, atFirstInput);
}

int VerifyAfterStart(const char* path) { return LoadReplayAfterStart(path); }

void EndBeforeRun(int code) {
    std::fflush(nullptr);
    std::_Exit(code);
}

void EndRunAtOnce() {
    SendGameMessage(WM_CLOSE, 0, 0);
    // The round going on is kept as the close button would keep it.
    FinishReplayRecording();
    StopTrace();
    std::fflush(nullptr);
    std::exit(0);  // the game's statics write the error report
}

int PlayRun() {
    const auto start = std::chrono::steady_clock::now();
    static char commandLine[] = "";
    int code = WinMain(nullptr, nullptr, commandLine, 1);
    const bool verify = !g_Options.verify.empty();
    if (verify || !g_Options.replay.empty()) {
        // A clip keeps only a round that verifies.
        const bool clip = !g_Options.clip.empty();
        int result = FinishReplayPlayback(verify || clip, code);
        if (clip) result = FinishClip(code != 0 ? 2 : result);
        code = verify || clip || code == 0 ? result : code;
    } else {
        FinishReplayRecording();
        EndRoomRace();
    }
    if (g_Options.timedemo) {
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        const long long frames = FlipCount();
        std::printf("frames=%lld wall_ms=%.0f fps=%.1f first_flip_ms=%.1f", frames, ms,
                    ms > 0 ? frames * 1000.0 / ms : 0.0, MillisecondsToFirstFlip());
        long peakKb = 0;
        double cpuMs = 0;
        if (ProcessUsage(&peakKb, &cpuMs))
            std::printf(" peak_rss_kb=%ld cpu_ms=%.0f", peakKb, cpuMs);
        std::printf("\n");
    }
    StopTrace();
    PlatformShutdown();
    return code;
}
