#pragma once
// How the desktop game was shown when the player left it (window or full screen, the
// window's scale, the splits on or off) and the gamepad's settings, kept in a small file
// beside the best times so that the next start is the same. The command line's --window,
// --fullscreen, --scale, --splits and --pad-* win for their run (and are kept from then on). Headless runs neither read
// nor write it, so they stay the same everywhere.

#include <cstddef>

#include "platform/services/pad_cursor.h"

struct Options;

struct DisplaySettings {
    bool fullscreen = true;
    int scale = 0;     // the window's whole factor, 1..16; 0: none kept
    PadSettings pad;   // lines only for what differs from the defaults
    int volume = 100;  // the master volume, 0..100
    bool muted = false;
    bool splits = true;  // the splits over a round (the S key); a line only when off
};

// The file's name among the player's files (as OpenGamePath names it).
extern const char kDisplaySettingsFile[];

// Reads the file's text. False for anything odd (an unknown line, a value out of range,
// a key twice, text too long): the caller then keeps the defaults.
bool ParseDisplaySettings(const char* text, std::size_t size, DisplaySettings* out);
// The file's text for `settings`; its length (without the closing zero).
std::size_t FormatDisplaySettings(const DisplaySettings& settings, char* out, std::size_t capacity);

// For a player's run (not headless): reads the file, if any, into the options the command
// line left open (o->window, o->savedScale, o->pad, o->volume, o->muted) and marks the run as one that remembers.
// A missing, unreadable or odd file leaves the defaults, silently.
void UseSavedDisplay(Options* o);
// At the window's end: keeps how it was shown, the pad's settings (g_Options.pad) and the
// sound's volume and mute (as the mixer has them now),
// where the run remembers and something changed.
// Written safely (the old file or the new one, whole); a failure is not the player's
// concern and is ignored.
void RememberDisplay(bool fullscreen, int windowScale);
