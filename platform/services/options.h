#pragma once
// The command line of the port (the original game took none).

#include <cstdint>
#include <string>

#include "platform/services/pad_cursor.h"

struct Options {
    bool headless = false;
    bool window = false;          // --window; full screen otherwise
    bool fullscreen = false;      // --fullscreen given
    int scale = 0;                // --scale N: window size factor, 0 = largest that fits
    std::string script;           // --script FILE (headless)
    long long frames = -1;        // --frames N: WM_CLOSE after the N-th flip
    long long time = 1000000000;  // --time SECONDS: calendar time (headless)
    std::uint32_t tick0 = 0;      // --tick0 MS: first virtual tick (headless)
    std::string trace;            // --trace FILE
    std::string soundLog;         // --sound-log FILE
    std::string audioOut;         // --audio-out FILE.wav (headless)
    bool autoplay = false;        // --autoplay (headless)
    bool timedemo = false;        // --timedemo
    std::string replay;           // --replay FILE: watch (or with --headless, retrace) a replay
    std::string verify;           // --verify FILE: play a replay headless, print its result
    bool listReplays = false;     // --replays: list the kept replays
    bool listHistory = false;     // --history [FLIES SPEED]: list the rounds played
    std::string historyFlies, historySpeed;  // its mode, as given (checked where it is read)
    std::string clip;          // --clip OUT.webm: the replay (--replay) as a video, headless
    int clipScale = 1;         // --clip-scale N: the clip's picture at N x 640x480
    bool clipOverlay = false;  // --clip-overlay: the viewer's overlay drawn into the clip
    std::string clipCaption;   // --clip-caption TEXT: a band along the clip's foot
    long long clipFrom = -1;   // --from S, --to S: the round's frames the clip keeps (-1: its
    long long clipTo = -1;     // start, its end), given in seconds and kept as frames
    PadSettings pad;           // --pad-speed, --pad-dead-zone, --pad-precision (or display.ini)
    bool padSpeedGiven = false, padDeadZoneGiven = false, padPrecisionGiven = false;
    int volume = 100;  // --volume N: the master volume, 0..100 (or display.ini)
    bool volumeGiven = false;
    bool muted = false;      // not an option: display.ini keeps the key M's mute
    std::string virtualPad;  // --virtual-pad FILE: a tester's gamepad, steered by FILE's lines
    bool splits = true;      // --splits on|off (or display.ini); the S key switches it
    bool splitsGiven = false;
    std::string race;      // --race FILE: the reference of the rounds of FILE's mode
    std::string raceName;  // --race-name NAME: whose run it is, for the overlay
    std::string room;      // --room LINK: race in a room on a board
    std::string roomName;  // --name NAME: the racer's name there
    std::string roomKey;   // --key KEY: the name's key on the board
    // Not options: a player's run shows the game as it was left (display_settings.h).
    bool rememberDisplay = false;
    int savedScale = 0;  // the window's scale when it was left, 0: none
};

extern Options g_Options;

// Parses argv into *out. Returns 0 to run, 1 when --help or --version was printed
// (exit 0), 2 after a bad option (the one-line message is in *error).
int ParseOptions(int argc, char** argv, Options* out, std::string* error);
// A whole decimal number from low to high, the whole text and nothing else: the command
// line's numbers (the test tools read theirs the same way).
bool ToNumber(const char* text, long long low, long long high, long long* out);
