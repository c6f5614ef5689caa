#pragma once
// The command line of the port (the original game took none).

#include <cstdint>
#include <string>

#include "platform/core/pad_cursor.h"

struct Options {
    bool headless = false;
    bool window = false;       // --window; full screen otherwise
    bool fullscreen = false;   // --fullscreen given
    int scale = 0;             // --scale N: window size factor, 0 = largest that fits
    std::string script;        // --script FILE (headless)
    long long frames = -1;     // --frames N: WM_CLOSE after the N-th flip
    long long time = 1000000000;  // --time SECONDS: calendar time (headless)
    std::uint32_t tick0 = 0;   // --tick0 MS: first virtual tick (headless)
    std::string trace;         // --trace FILE
    std::string soundLog;      // --sound-log FILE
    std::string audioOut;      // --audio-out FILE.wav (headless)
    bool autoplay = false;     // --autoplay (headless)
    bool timedemo = false;     // --timedemo
    std::string replay;        // --replay FILE: watch (or with --headless, retrace) a replay
    std::string verify;        // --verify FILE: play a replay headless, print its result
    bool listReplays = false;  // --replays: list the kept replays
    PadSettings pad;           // --pad-speed, --pad-dead-zone, --pad-precision (or display.ini)
    bool padSpeedGiven = false, padDeadZoneGiven = false, padPrecisionGiven = false;
    std::string virtualPad;    // --virtual-pad FILE: a tester's gamepad, steered by FILE's lines
    bool splits = true;        // --splits on|off (or display.ini); the S key switches it
    bool splitsGiven = false;
    std::string race;          // --race FILE: the reference of the rounds of FILE's mode
    std::string raceName;      // --race-name NAME: whose run it is, for the overlay
    // Not options: a player's run shows the game as it was left (display_settings.h).
    bool rememberDisplay = false;
    int savedScale = 0;        // the window's scale when it was left, 0: none
};

extern Options g_Options;

// Parses argv into *out. Returns 0 to run, 1 when --help or --version was printed
// (exit 0), 2 after a bad option (the one-line message is in *error).
int ParseOptions(int argc, char** argv, Options* out, std::string* error);
