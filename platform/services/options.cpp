#include "platform/services/options.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/services/option_rows.h"

Options g_Options;

namespace {

// The ways to run the game; the options' lines come from the table (option_rows.cpp).
const char kUsageHead[] =
    "usage: zumble [OPTION]...                  play (full screen, or as last left)\n"
    "       zumble --headless [OPTION]...       a run without a window or sound device\n"
    "       zumble [--headless] --replay FILE   watch a replay; headless: retrace it\n"
    "       zumble --verify FILE                play a replay as fast as possible, print its\n"
    "                                           result\n"
    "       zumble --verify-stream              (Linux) verify replay after replay from\n"
    "                                           standard input\n"
    "       zumble --verify-follow              (Linux) verify one round as its records come\n"
    "                                           on standard input\n"
    "       zumble --replays | --history [FLIES SPEED] | --help | --version\n"
    "       zumble --replay FILE --clip OUT.webm|OUT.png [OPTION]...\n"
    "\n"
    "Options:\n";

const char kUsageTail[] =
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
    "Racing friends: zumble --room LINK --name NAME joins the room of a board's link\n"
    "(http://HOST:PORT/rooms/ID; --key KEY for a name that has a key there). Mode select\n"
    "shows the room's mode; Start says you are ready, and the round starts when the\n"
    "room's countdown ends, on the seed the board deals. The top line shows each racer's\n"
    "count and how far behind the leader; the results box names the winner.\n"
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

namespace {

const OptionRow* FindRow(const std::string& name, std::size_t* index) {
    std::size_t count = 0;
    const OptionRow* rows = OptionRows(&count);
    for (std::size_t i = 0; i < count; ++i) {
        if (name == rows[i].name) {
            *index = i;
            return &rows[i];
        }
    }
    return nullptr;
}

// --help: the ways to run, then a line per row of the table (a whole number's range
// where it is short), folded at 80 columns, then how to play.
void PrintUsage() {
    std::fputs(kUsageHead, stdout);
    constexpr std::size_t kHelpColumn = 28, kWidth = 80;
    std::size_t count = 0;
    const OptionRow* rows = OptionRows(&count);
    for (std::size_t i = 0; i < count; ++i) {
        const OptionRow& row = rows[i];
        std::string line = std::string("  ") + row.name;
        if (row.value) line += std::string(" ") + row.value;
        std::string help = row.help;
        if (row.kind == OptionValue::kWhole && row.max <= 100000)
            help += ", " + std::to_string(row.min) + "-" + std::to_string(row.max);
        std::size_t word = 0;
        while (word < help.size()) {
            if (line.size() >= kHelpColumn) {
                std::printf("%s\n", line.c_str());
                line.clear();
            }
            line.resize(kHelpColumn, ' ');
            std::size_t end = help.size();
            if (kHelpColumn + (end - word) > kWidth) {
                end = help.rfind(' ', word + (kWidth - kHelpColumn));
                if (end == std::string::npos || end <= word) end = help.size();
            }
            line += help.substr(word, end - word);
            word = end < help.size() ? end + 1 : end;
            std::printf("%s\n", line.c_str());
            line.clear();
        }
    }
    std::fputs(kUsageTail, stdout);
}

// The value's word in "option X needs ...".
const char* Wanted(OptionValue kind) {
    switch (kind) {
    case OptionValue::kWhole: return "a whole number";
    case OptionValue::kFile: return "a file name";
    case OptionValue::kOnOff: return "on or off";
    case OptionValue::kSeconds: return "seconds";
    default: return "a value";
    }
}

// Reads the value of `row` at argv[*i + 1] (moving *i past it) and stores it.
bool TakeValue(const OptionRow& row, int argc, char** argv, int* i, Options* o,
               std::string* error) {
    const std::string name = row.name;
    if (row.kind == OptionValue::kNone) {
        row.set(*o, 0, nullptr);
        return true;
    }
    if (row.kind == OptionValue::kMode) {
        // A mode may follow: both its words, or none.
        const char* value = *i + 1 < argc ? argv[*i + 1] : nullptr;
        const bool more = value && value[0] != '-';
        if (more && (*i + 2 >= argc || argv[*i + 2][0] == '-')) {
            *error = "--history takes a mode as FLIES and SPEED (e.g. 10 NORMAL), or nothing";
            return false;
        }
        if (more) {
            o->historyFlies = argv[*i + 1];
            o->historySpeed = argv[*i + 2];
            *i += 2;
        }
        row.set(*o, 0, nullptr);
        return true;
    }
    if (*i + 1 >= argc || (row.kind == OptionValue::kFile && !*argv[*i + 1])) {
        *error = "option " + name + " needs " + Wanted(row.kind);
        return false;
    }
    const char* value = argv[++*i];
    long long n = 0;
    switch (row.kind) {
    case OptionValue::kWhole:
        if (!ToNumber(value, row.min, row.max, &n)) {
            *error = name + " wants a whole number from " + std::to_string(row.min) + " to " +
                     std::to_string(row.max) + ", not '" + value + "'";
            return false;
        }
        break;
    case OptionValue::kOnOff:
        if (std::strcmp(value, "on") != 0 && std::strcmp(value, "off") != 0) {
            *error = name + " wants on or off, not '" + value + "'";
            return false;
        }
        n = std::strcmp(value, "on") == 0;
        break;
    case OptionValue::kSeconds:
        if (!ToFrame(value, &n)) {
            *error = name + " wants seconds of the round (12 or 12.5), not '" + value + "'";
            return false;
        }
        break;
    default: break;
    }
    row.set(*o, n, value);
    return true;
}

// The first option given that `runs` leaves out, or nullptr.
const char* GivenOutside(const std::vector<bool>& given, unsigned runs) {
    std::size_t count = 0;
    const OptionRow* rows = OptionRows(&count);
    for (std::size_t i = 0; i < count; ++i)
        if (given[i] && (rows[i].runs & runs) == 0) return rows[i].name;
    return nullptr;
}

}  // namespace

int ParseOptions(int argc, char** argv, Options* out, std::string* error) {
    Options o;
    std::size_t count = 0;
    OptionRows(&count);
    std::vector<bool> given(count, false);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage();
            return 1;
        } else if (arg == "--version") {
            std::printf("zumble %s\n", ZUMBLE_VERSION);
            return 1;
        } else if (arg == "--verify-stream" || arg == "--verify-follow") {
            // Alone, the desktop's entry takes it before the options are read.
            *error = argc > 2 ? arg + " takes no other option" : arg + " is not in this build";
            return 2;
        }
        std::size_t index = 0;
        const OptionRow* row = FindRow(arg, &index);
        if (!row) {
            *error = "unknown option '" + arg + "' (see zumble --help)";
            return 2;
        }
        given[index] = true;
        if (!TakeValue(*row, argc, argv, &i, &o, error)) return 2;
    }
    // Which options go together: each row says the runs it may be given to.
    for (const char* listing : {"--replays", "--history"}) {
        std::size_t index = 0;
        FindRow(listing, &index);
        if (given[index] && std::count(given.begin(), given.end(), true) > 1) {
            *error = std::string(listing) + " takes no other option";
            return 2;
        }
    }
    if (!o.verify.empty()) {
        // The result alone: nothing that would read other input or write a file.
        if (GivenOutside(given, kWithVerify)) {
            *error = "--verify takes no other option but --timedemo";
            return 2;
        }
        o.headless = true;
    }
    if (o.clip.empty()) {
        std::size_t i = 0;
        const OptionRow* rows = OptionRows(&count);
        for (; i < count && !(given[i] && (rows[i].runs & kNeedsClip)); ++i) {}
        if (i < count) {
            *error = "--clip-scale, --clip-overlay, --clip-caption, --from and --to go with --clip";
            return 2;
        }
    } else {
        // A clip is made headless from a replay and nothing else.
        if (o.replay.empty()) {
            *error = "--clip makes a video of a replay: give it --replay FILE";
            return 2;
        }
        if (GivenOutside(given, kWithClip)) {
            *error =
                "--clip takes only --replay, --clip-scale, --clip-overlay, --clip-caption, --from, "
                "--to and the output files";
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
    if (!o.room.empty() &&
        (o.roomName.empty() || !o.race.empty() || !o.replay.empty() || o.autoplay)) {
        *error = o.roomName.empty()
                     ? "--room needs --name NAME: the name to race under"
                     : "--room races the friends in the room: drop --race, --replay and --autoplay";
        return 2;
    }
    if (o.room.empty() && (!o.roomName.empty() || !o.roomKey.empty())) {
        *error = "--name and --key go with --room LINK";
        return 2;
    }
    if (!o.raceName.empty() && o.race.empty()) {
        *error = "--race-name names the run of --race FILE";
        return 2;
    }
    if (o.window && o.fullscreen) {
        *error = "--window and --fullscreen exclude each other";
        return 2;
    }
    if (o.headless) {
        if (const char* windowOnly = GivenOutside(given, kInHeadless)) {
            *error = std::strcmp(windowOnly, "--virtual-pad") == 0
                         ? "--virtual-pad works only in a window, not with --headless"
                         : "--headless has no window: drop --window, --fullscreen and --scale";
            return 2;
        }
    } else if (const char* headlessOnly = GivenOutside(given, kInWindow)) {
        *error = std::string(headlessOnly) + " works only with --headless";
        return 2;
    }
    *out = o;
    return 0;
}
