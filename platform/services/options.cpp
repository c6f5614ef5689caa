#include "platform/services/options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

Options g_Options;

namespace {

const char kUsage[] =
    "usage: zumble [--window | --fullscreen] [--scale N] [--trace FILE] [--sound-log FILE]\n"
    "              [--pad-speed PX] [--pad-dead-zone PERCENT] [--pad-precision PERCENT] [--volume "
    "N]\n"
    "              [--splits on|off] [--race FILE [--race-name NAME]]\n"
    "       zumble --headless [--script FILE] [--frames N] [--time SECONDS] [--tick0 MS]\n"
    "              [--trace FILE] [--sound-log FILE] [--audio-out FILE.wav] [--autoplay] "
    "[--timedemo]\n"
    "              [--volume N]\n"
    "       zumble [--headless] --replay FILE   (watch a replay; headless: retrace it)\n"
    "       zumble --verify FILE                (play a replay as fast as possible, print its "
    "result)\n"
    "       zumble --verify-stream              (Linux: verify replay after replay from standard "
    "input)\n"
    "       zumble --replays                    (list the kept replays: mode, time, date, file)\n"
    "       zumble --history [FLIES SPEED]      (list every round played, or those of one mode)\n"
    "       zumble --replay FILE --clip OUT.webm [--clip-scale N] [--clip-overlay] [--from S] "
    "[--to S]\n"
    "                                           (the round as a video with its sound, made "
    "headless)\n"
    "       zumble --help | --version\n"
    "       zumble --window --virtual-pad FILE  (testers: a virtual gamepad steered by FILE's "
    "lines)\n"
    "\n"
    "Swat the flies with the mouse. Enter and Space change how fast they come; Escape\n"
    "leaves the current screen; R starts the mode again at once (from a round, its\n"
    "results or mode select); Alt+Enter switches between window and full screen;\n"
    "M mutes the sound and gives it back. --volume sets the sound's volume (0-100,\n"
    "default 100, or as it was last left).\n"
    "\n"
    "A gamepad works too: the left stick or the d-pad moves, A swats (the mouse button),\n"
    "B is Escape, Start is Enter, and holding the right shoulder slows the cursor for\n"
    "fine aim. --pad-speed is the cursor's speed at full tilt in game pixels a second\n"
    "(250-1500, default 600), --pad-dead-zone the stick's tilt that does nothing (0-30 %,\n"
    "default 8), --pad-precision the speed kept while the shoulder is held (10-100 %,\n"
    "default 33).\n"
    "\n"
    "Files: the pictures and sounds (bmp/, wave/) are read from the current folder, else\n"
    "from ../share/games/zumble beside the executable (an installed game), else from the\n"
    "folder next to or above the executable. The best times (hiscoa.sav), the error\n"
    "report (error.txt) and how the game was last set (display.ini: window or full\n"
    "screen, the window's scale, the pad's settings, the volume and the mute, used when\n"
    "no option says) are written beside that data, except for an installed game, which\n"
    "keeps them in\n"
    "$XDG_DATA_HOME/zumble/ (by default ~/.local/share/zumble/). Every round is recorded\n"
    "there in replays/: last.zrp, and best-FLIES-SPEED-PLACE.zrp for each best time;\n"
    "zumble --replays lists them. Every round, finished or left, is also a line of\n"
    "history.txt there (zumble --history lists them; FLIES SPEED, e.g. 10 NORMAL or\n"
    "10 2, only that mode's), and the last 100 rounds' replays are kept as round-*.zrp.\n"
    "\n"
    "Splits: during a round the top line shows, after each swat, how far ahead (green,\n"
    "-0.42) or behind (red, +1.20) the mode's best kept replay you are at the same count\n"
    "of flies, and how many it had swatted at your clock (best: 7); the results board\n"
    "says the mode, the time, a new best and where it entered the table. S shows or hides\n"
    "them (kept in display.ini; --splits on|off for a run). --race FILE races any replay\n"
    "instead: the game starts at mode select in FILE's mode, and --race-name names whose\n"
    "run it is (else the file's name).\n"
    "\n"
    "Watching a replay: Space pauses, , and . step one frame back and on, Left and Right\n"
    "go 5 s (with Shift 30 s), Home and End to the first and last frame, - and + change\n"
    "the speed (0.25x to 4x), O shows or hides the overlay, ? the keys, Escape leaves; the\n"
    "bar at the bottom seeks where it is clicked or dragged.\n";

// Seconds of the round ("12", "12.5", up to milliseconds) to the frame they fall in.
bool ToFrame(const char* text, long long* out) {
    if (!text || !*text || *text == '-' || *text == '+' || *text == ' ') return false;
    char* end = nullptr;
    errno = 0;
    const double seconds = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !(seconds >= 0) || seconds > 100000000) return false;
    *out = static_cast<long long>(seconds * 60 + 1e-6);
    return true;
}

}  // namespace

bool ToNumber(const char* text, long long low, long long high, long long* out) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) return false;
    *out = v;
    return true;
}

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
        } else if (arg == "--replays") {
            o.listReplays = true;
        } else if (arg == "--history") {
            o.listHistory = true;
            // A mode may follow: both its words, or none.
            const bool more = value && value[0] != '-';
            if (more && (i + 2 >= argc || argv[i + 2][0] == '-')) {
                *error = "--history takes a mode as FLIES and SPEED (e.g. 10 NORMAL), or nothing";
                return 2;
            }
            if (more) {
                o.historyFlies = argv[i + 1];
                o.historySpeed = argv[i + 2];
                i += 2;
            }
        } else if (arg == "--verify-stream") {
            // Alone, the desktop's entry takes it before the options are read.
            *error = argc > 2 ? "--verify-stream takes no other option"
                              : "--verify-stream is not in this build";
            return 2;
        } else if (arg == "--splits") {
            if (!needValue("on or off")) return 2;
            if (std::strcmp(value, "on") != 0 && std::strcmp(value, "off") != 0) {
                *error = "--splits wants on or off, not '" + std::string(value) + "'";
                return 2;
            }
            o.splits = std::strcmp(value, "on") == 0;
            o.splitsGiven = true;
        } else if (arg == "--race-name") {
            if (!needValue("a name")) return 2;
            o.raceName = value;
        } else if (arg == "--timedemo") {
            o.timedemo = true;
        } else if (arg == "--scale") {
            if (!needValue("a whole number")) return 2;
            if (!ToNumber(value, 1, 16, &n)) {
                *error =
                    "--scale wants a whole number from 1 to 16, not '" + std::string(value) + "'";
                return 2;
            }
            o.scale = static_cast<int>(n);
        } else if (arg == "--clip-scale") {
            if (!needValue("a whole number")) return 2;
            if (!ToNumber(value, 1, 4, &n)) {
                *error = "--clip-scale wants a whole number from 1 to 4, not '" +
                         std::string(value) + "'";
                return 2;
            }
            o.clipScale = static_cast<int>(n);
        } else if (arg == "--clip-overlay") {
            o.clipOverlay = true;
        } else if (arg == "--from" || arg == "--to") {
            if (!needValue("seconds")) return 2;
            if (!ToFrame(value, arg == "--from" ? &o.clipFrom : &o.clipTo)) {
                *error = arg + " wants seconds of the round (12 or 12.5), not '" + value + "'";
                return 2;
            }
        } else if (arg == "--frames") {
            if (!needValue("a number of frames")) return 2;
            if (!ToNumber(value, 1, 1000000000000LL, &n)) {
                *error = "--frames wants a positive whole number, not '" + std::string(value) + "'";
                return 2;
            }
            o.frames = n;
        } else if (arg == "--time") {
            if (!needValue("a number of seconds")) return 2;
            if (!ToNumber(value, 0, 0xFFFFFFFFLL, &n)) {
                *error =
                    "--time wants seconds from 0 to 4294967295, not '" + std::string(value) + "'";
                return 2;
            }
            o.time = n;
        } else if (arg == "--tick0") {
            if (!needValue("milliseconds")) return 2;
            if (!ToNumber(value, 0, 0xFFFFFFFFLL, &n)) {
                *error = "--tick0 wants milliseconds from 0 to 4294967295, not '" +
                         std::string(value) + "'";
                return 2;
            }
            o.tick0 = static_cast<std::uint32_t>(n);
        } else if (arg == "--pad-speed" || arg == "--pad-dead-zone" || arg == "--pad-precision") {
            const bool speed = arg == "--pad-speed", deadZone = arg == "--pad-dead-zone";
            const int low = speed ? kPadSpeedMin : deadZone ? kPadDeadZoneMin : kPadPrecisionMin;
            const int high = speed ? kPadSpeedMax : deadZone ? kPadDeadZoneMax : kPadPrecisionMax;
            if (!needValue("a whole number")) return 2;
            if (!ToNumber(value, low, high, &n)) {
                *error = arg + " wants a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not '" + value + "'";
                return 2;
            }
            (speed      ? o.pad.speed
             : deadZone ? o.pad.deadZone
                        : o.pad.precision) = static_cast<int>(n);
            (speed ? o.padSpeedGiven : deadZone ? o.padDeadZoneGiven : o.padPrecisionGiven) = true;
        } else if (arg == "--volume") {
            if (!needValue("a whole number")) return 2;
            if (!ToNumber(value, 0, 100, &n)) {
                *error =
                    "--volume wants a whole number from 0 to 100, not '" + std::string(value) + "'";
                return 2;
            }
            o.volume = static_cast<int>(n);
            o.volumeGiven = true;
        } else if (arg == "--script" || arg == "--trace" || arg == "--sound-log" ||
                   arg == "--audio-out" || arg == "--replay" || arg == "--verify" ||
                   arg == "--virtual-pad" || arg == "--clip" || arg == "--race") {
            if (!needValue("a file name")) return 2;
            if (!*value) {
                *error = "option " + arg + " needs a file name";
                return 2;
            }
            std::string& target = arg == "--script"      ? o.script
                                  : arg == "--trace"     ? o.trace
                                  : arg == "--sound-log" ? o.soundLog
                                  : arg == "--audio-out" ? o.audioOut
                                  : arg == "--replay"    ? o.replay
                                  : arg == "--verify"    ? o.verify
                                  : arg == "--clip"      ? o.clip
                                  : arg == "--race"      ? o.race
                                                         : o.virtualPad;
            target = value;
        } else {
            *error = "unknown option '" + arg + "' (see zumble --help)";
            return 2;
        }
    }
    if (o.listReplays && argc > 2) {
        *error = "--replays takes no other option";
        return 2;
    }
    if (o.listHistory && argc > (o.historyFlies.empty() ? 2 : 4)) {
        *error = "--history takes no other option";
        return 2;
    }
    if (!o.verify.empty()) {
        // The result alone: nothing that would read other input or write a file.
        if (!o.replay.empty() || o.window || fullscreen || o.scale || !o.script.empty() ||
            o.frames >= 0 || !o.trace.empty() || !o.soundLog.empty() || !o.audioOut.empty() ||
            o.autoplay || o.padSpeedGiven || o.padDeadZoneGiven || o.padPrecisionGiven ||
            !o.virtualPad.empty() || o.volumeGiven || !o.race.empty() || !o.raceName.empty() ||
            o.splitsGiven) {
            *error = "--verify takes no other option but --timedemo";
            return 2;
        }
        o.headless = true;
    }
    const bool clipOptions = o.clipScale != 1 || o.clipOverlay || o.clipFrom >= 0 || o.clipTo >= 0;
    if (o.clip.empty() && clipOptions) {
        *error = "--clip-scale, --clip-overlay, --from and --to go with --clip";
        return 2;
    }
    if (!o.clip.empty()) {
        // A clip is made headless from a replay and nothing else.
        if (o.replay.empty()) {
            *error = "--clip makes a video of a replay: give it --replay FILE";
            return 2;
        }
        if (o.window || fullscreen || o.scale || !o.script.empty() || o.frames >= 0 || o.autoplay ||
            !o.virtualPad.empty() || o.timedemo) {
            *error =
                "--clip takes only --replay, --clip-scale, --clip-overlay, --from, --to and the "
                "output files";
            return 2;
        }
        if (o.clipFrom >= 0 && o.clipTo >= 0 && o.clipTo <= o.clipFrom) {
            *error = "--to must come after --from";
            return 2;
        }
        o.headless = true;
    }
    // A replay's script may take shots of its frames; its input is the replay's.
    if (!o.replay.empty() && o.autoplay) {
        *error = "--replay plays the replay's input: drop --autoplay";
        return 2;
    }
    // A watched replay is not a round to race.
    if (!o.replay.empty() && (!o.race.empty() || o.splitsGiven)) {
        *error = "--replay shows a recorded round: drop --race and --splits";
        return 2;
    }
    if (!o.raceName.empty() && o.race.empty()) {
        *error = "--race-name names the run of --race FILE";
        return 2;
    }
    o.fullscreen = fullscreen;
    if (o.window && fullscreen) {
        *error = "--window and --fullscreen exclude each other";
        return 2;
    }
    if (o.headless && (o.window || fullscreen || o.scale)) {
        *error = "--headless has no window: drop --window, --fullscreen and --scale";
        return 2;
    }
    if (!o.virtualPad.empty() && o.headless) {
        *error = "--virtual-pad works only in a window, not with --headless";
        return 2;
    }
    if (!o.headless) {
        const char* headlessOnly = !o.script.empty()     ? "--script"
                                   : o.frames >= 0       ? "--frames"
                                   : !o.audioOut.empty() ? "--audio-out"
                                   : o.autoplay          ? "--autoplay"
                                                         : nullptr;
        if (headlessOnly) {
            *error = std::string(headlessOnly) + " works only with --headless";
            return 2;
        }
    }
    *out = o;
    return 0;
}
