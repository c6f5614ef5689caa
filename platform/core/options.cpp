#include "platform/core/options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

Options g_Options;

namespace {

const char kUsage[] =
    "usage: zumble [--window | --fullscreen] [--scale N] [--trace FILE] [--sound-log FILE]\n"
    "       zumble --headless [--script FILE] [--frames N] [--time SECONDS] [--tick0 MS]\n"
    "              [--trace FILE] [--sound-log FILE] [--audio-out FILE.wav] [--autoplay] [--timedemo]\n"
    "       zumble [--headless] --replay FILE   (watch a replay; headless: retrace it)\n"
    "       zumble --verify FILE                (play a replay as fast as possible, print its result)\n"
    "       zumble --help | --version\n"
    "\n"
    "Swat the flies with the mouse. Enter and Space change how fast they come; Escape\n"
    "leaves the current screen; Alt+Enter switches between window and full screen.\n"
    "\n"
    "Files: the pictures and sounds (bmp/, wave/) are read from the current folder, else\n"
    "from ../share/games/zumble beside the executable (an installed game), else from the\n"
    "folder next to or above the executable. The best times (hiscoa.sav), the error\n"
    "report (error.txt) and how the game was last shown (display.ini: window or full\n"
    "screen, and the window's scale, used when no option says) are written beside that\n"
    "data, except for an installed game, which keeps them in $XDG_DATA_HOME/zumble/ (by\n"
    "default ~/.local/share/zumble/). Every round is recorded there in replays/: last.zrp,\n"
    "and best-FLIES-SPEED-PLACE.zrp for each best time.\n";

bool ToNumber(const char* text, long long low, long long high, long long* out) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) return false;
    *out = v;
    return true;
}

}  // namespace

int ParseOptions(int argc, char** argv, Options* out, std::string* error) {
    Options o;
    bool fullscreen = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto needValue = [&](const char* what) {
            if (!value) {
                *error = "option " + arg + " needs " + what;
                return false;
            }
            ++i;
            return true;
        };
        long long n = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 1;
        } else if (arg == "--version") {
            std::printf("zumble %s\n", ZUMBLE_VERSION);
            return 1;
        } else if (arg == "--window") {
            o.window = true;
        } else if (arg == "--fullscreen") {
            fullscreen = true;
        } else if (arg == "--headless") {
            o.headless = true;
        } else if (arg == "--autoplay") {
            o.autoplay = true;
        } else if (arg == "--timedemo") {
            o.timedemo = true;
        } else if (arg == "--scale") {
            if (!needValue("a whole number")) return 2;
            if (!ToNumber(value, 1, 16, &n)) { *error = "--scale wants a whole number from 1 to 16, not '" + std::string(value) + "'"; return 2; }
            o.scale = static_cast<int>(n);
        } else if (arg == "--frames") {
            if (!needValue("a number of frames")) return 2;
            if (!ToNumber(value, 1, 1000000000000LL, &n)) { *error = "--frames wants a positive whole number, not '" + std::string(value) + "'"; return 2; }
            o.frames = n;
        } else if (arg == "--time") {
            if (!needValue("a number of seconds")) return 2;
            if (!ToNumber(value, 0, 0xFFFFFFFFLL, &n)) { *error = "--time wants seconds from 0 to 4294967295, not '" + std::string(value) + "'"; return 2; }
            o.time = n;
        } else if (arg == "--tick0") {
            if (!needValue("milliseconds")) return 2;
            if (!ToNumber(value, 0, 0xFFFFFFFFLL, &n)) { *error = "--tick0 wants milliseconds from 0 to 4294967295, not '" + std::string(value) + "'"; return 2; }
            o.tick0 = static_cast<std::uint32_t>(n);
        } else if (arg == "--script" || arg == "--trace" || arg == "--sound-log" || arg == "--audio-out" ||
                   arg == "--replay" || arg == "--verify") {
            if (!needValue("a file name")) return 2;
            if (!*value) { *error = "option " + arg + " needs a file name"; return 2; }
            std::string& target = arg == "--script" ? o.script : arg == "--trace" ? o.trace
                                : arg == "--sound-log" ? o.soundLog : arg == "--audio-out" ? o.audioOut
                                : arg == "--replay" ? o.replay : o.verify;
            target = value;
        } else {
            *error = "unknown option '" + arg + "' (see zumble --help)";
            return 2;
        }
    }
    if (!o.verify.empty()) {
        // The result alone: nothing that would read other input or write a file.
        if (!o.replay.empty() || o.window || fullscreen || o.scale || !o.script.empty() || o.frames >= 0 ||
            !o.trace.empty() || !o.soundLog.empty() || !o.audioOut.empty() || o.autoplay) {
            *error = "--verify takes no other option but --timedemo";
            return 2;
        }
        o.headless = true;
    }
    if (!o.replay.empty() && (!o.script.empty() || o.autoplay)) {
        *error = "--replay plays the replay's input: drop --script and --autoplay";
        return 2;
    }
    o.fullscreen = fullscreen;
    if (o.window && fullscreen) { *error = "--window and --fullscreen exclude each other"; return 2; }
    if (o.headless && (o.window || fullscreen || o.scale)) { *error = "--headless has no window: drop --window, --fullscreen and --scale"; return 2; }
    if (!o.headless) {
        const char* headlessOnly = !o.script.empty() ? "--script" : o.frames >= 0 ? "--frames"
                                 : !o.audioOut.empty() ? "--audio-out" : o.autoplay ? "--autoplay" : nullptr;
        if (headlessOnly) { *error = std::string(headlessOnly) + " works only with --headless"; return 2; }
    }
    *out = o;
    return 0;
}
