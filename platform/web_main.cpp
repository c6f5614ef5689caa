// The page's entry: the options from the address (the page passes them as a command
// line), the backend, the game's WinMain, and the end of the run. The run ends through
// exit(), so the game's statics are torn down as on the desktop (the error log is
// written then) and the page learns of the end (web/page.js).
#include <emscripten/emscripten.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/options.h"
#include "platform/runtime.h"
#include "platform/web_backend.h"
#include "shell/autoplay.h"
#include "shell/trace.h"
#include "shell/winmain.h"

namespace {

bool g_timeGiven = false;

[[noreturn]] void End(int code) {
    std::fflush(nullptr);
    emscripten_force_exit(code);
    __builtin_unreachable();
}

}  // namespace

bool WebTimeGiven() { return g_timeGiven; }

// The page reads the trace and sound log while the game runs.
extern "C" EMSCRIPTEN_KEEPALIVE void ZumbleFlushLogs() { std::fflush(nullptr); }

int main(int argc, char** argv) {
    MarkProcessStart();
    std::string error;
    const int parsed = ParseOptions(argc, argv, &g_Options, &error);
    if (parsed == 2) {
        std::fprintf(stderr, "zumble: %s\n", error.c_str());
        End(2);
    }
    if (parsed == 1) End(0);
    // The page passes --headless only so that the parser takes a script and the test
    // player; the run itself is on the page.
    g_Options.headless = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--time") == 0) g_timeGiven = true;
    // The data and the player's files are in the page's folder (web/page.js).
    if (chdir("/zumble") != 0) {
        std::fprintf(stderr, "zumble: the game's folder is missing\n");
        End(1);
    }
    if (!PlatformInit()) End(2);
    if (!g_Options.trace.empty() && !StartTrace(g_Options.trace.c_str())) {
        std::fprintf(stderr, "zumble: cannot write the trace file '%s'\n", g_Options.trace.c_str());
        End(2);
    }
    if (g_Options.autoplay) StartAutoplay();

    const auto start = std::chrono::steady_clock::now();
    static char commandLine[] = "";
    const int code = WinMain(nullptr, nullptr, commandLine, 1);
    if (g_Options.timedemo) {
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        const long long frames = FlipCount();
        std::printf("frames=%lld wall_ms=%.0f fps=%.1f first_flip_ms=%.1f\n", frames, ms,
                    ms > 0 ? frames * 1000.0 / ms : 0.0, MillisecondsToFirstFlip());
    }
    StopTrace();
    PlatformShutdown();
    End(code);
}
