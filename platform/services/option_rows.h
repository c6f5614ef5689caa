#pragma once
// The game's command line as a table, one row per option: its name, its value, the range
// of a number, the runs it may be given to, where it goes and its line of --help. The
// parser (options.cpp), --help and the checks of which options go together all read it:
// a new option is one row here and its field in Options.

#include <cstddef>

#include "platform/services/options.h"

enum class OptionValue {
    kNone,     // a switch
    kWhole,    // a whole number from min to max
    kFile,     // a file name, not empty
    kText,     // any text
    kOnOff,    // on or off
    kSeconds,  // seconds of the round, to the millisecond
    kMode,     // --history's optional FLIES SPEED
};

// The runs an option may be given to. A window run is the desktop game; a headless run
// has no window (--headless, and --verify and --clip, which are headless).
enum OptionRun : unsigned {
    kInWindow = 1,
    kInHeadless = 2,
    kWithVerify = 4,  // beside --verify, which takes almost nothing else
    kWithClip = 8,    // beside --clip, which makes a video of a replay and nothing else
    kNeedsClip = 16,  // only beside --clip
    kAlone = 32,      // the only option of its run (a listing)
    kAnyRun = kInWindow | kInHeadless | kWithClip,
};

struct OptionRow {
    const char* name;
    const char* value;  // the value's word in --help, nullptr for a switch
    OptionValue kind;
    long long min, max;  // a whole number's range
    unsigned runs;       // OptionRun bits
    // Stores the value: the number (a whole number, or seconds as frames) or the text.
    void (*set)(Options& o, long long number, const char* text);
    const char* help;
};

// The rows, in --help's order; *count is set to their number.
const OptionRow* OptionRows(std::size_t* count);
