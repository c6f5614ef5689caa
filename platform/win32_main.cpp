// zumble.exe: the process entry. Reads the command line, brings up the backend and hands
// over to the game's WinMain, as on the desktop.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/files.h"
#include "platform/options.h"
#include "platform/runtime.h"
#include "platform/win32_process.h"
#include "shell/autoplay.h"
#include "shell/trace.h"
#include "shell/winmain.h"

int main(int argc, char** argv) {
    MarkProcessStart();
    Win32UseParentConsole();
    std::string error;
    const int parsed = ParseOptions(argc, argv, &g_Options, &error);
    // Bad input ends the process before the game's statics write anything at exit.
    if (parsed == 1) {
        std::fflush(stdout);
        std::_Exit(0);
    }
    if (parsed == 2) {
        std::fprintf(stderr, "zumble: %s\n", error.c_str());
        std::fflush(stderr);
        std::_Exit(2);
    }
    if (!PlatformInit()) std::_Exit(2);
    // Output files are named from where the player started the game, even when the game
    // then moves to the folder that holds its data (or writes to its own).
    for (std::string* path : {&g_Options.trace, &g_Options.soundLog, &g_Options.audioOut})
        if (!path->empty()) *path = std::filesystem::absolute(*path).string();
    FindGameData();
    if (!g_Options.trace.empty() && !StartTrace(g_Options.trace.c_str())) {
        std::fprintf(stderr, "zumble: cannot write the trace file '%s'\n", g_Options.trace.c_str());
        std::_Exit(2);
    }
    if (g_Options.autoplay) StartAutoplay();

    const auto start = std::chrono::steady_clock::now();
    static char commandLine[] = "";
    const int code = WinMain(nullptr, nullptr, commandLine, 1);
    if (g_Options.timedemo) {
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        const long long frames = FlipCount();
        std::printf("frames=%lld wall_ms=%.0f fps=%.1f first_flip_ms=%.1f peak_rss_kb=%ld cpu_ms=%.0f\n", frames,
                    ms, ms > 0 ? frames * 1000.0 / ms : 0.0, MillisecondsToFirstFlip(), Win32PeakMemoryKb(),
                    Win32CpuMilliseconds());
    }
    StopTrace();
    PlatformShutdown();
    return code;
}
