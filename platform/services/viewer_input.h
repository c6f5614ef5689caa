#pragma once
// The replay viewer's controls as every backend names them. While a replay is watched a
// backend hands its keys and pointer here instead of to the game (whose input then comes
// from the file); in a game that is played nothing listens and the backend posts its
// input to the game as always.

#include "platform/services/viewer_overlay.h"

enum class ViewerKey : int {
    PlayPause,     // Space
    FrameBack,     // ,
    FrameForward,  // .
    Back,          // Left: 5 s back, with Shift 30 s
    Forward,       // Right: 5 s on, with Shift 30 s
    Start,         // Home
    End,           // End
    Slower,        // -
    Faster,        // +
    Overlay,       // O
    Help,          // ?
    Leave,         // Escape
};

enum class ViewerPointer : int { Down, Move, Up };

struct ViewerInput {
    // A key pressed; shift tells whether Shift was held.
    void (*key)(ViewerKey key, bool shift);
    // The mouse's left button or a finger at (x, y) in the picture's 640x480 coordinates
    // (fractions allowed; outside the picture too).
    void (*pointer)(ViewerPointer phase, double x, double y);
    // What to draw over the frame now presented.
    void (*describe)(ViewerOverlay* out);
    // Goes to a frame of the round (the page's own seek bar and links).
    void (*seek)(long long frame);
    // True while a seek plays frames that nobody sees.
    bool (*seeking)();
};

// Null: nobody watches a replay.
void SetViewerInput(const ViewerInput* input);
const ViewerInput* ActiveViewerInput();

// True while a watched replay seeks: the frames played meanwhile are neither shown nor
// heard, so a backend need not read its pads or hand on their sound. False when no
// replay is watched.
bool ActiveViewerSeeking();

// The presentation layers' way to the overlay: false (and nothing to draw) when no
// replay is watched or the overlay is off.
bool DescribeViewerOverlay(ViewerOverlay* out);

// The key for a key's name as the page's events give it (KeyboardEvent.key: " ", ",",
// ".", "ArrowLeft", "ArrowRight", "Home", "End", "-", "+", "=", "o", "O", "?", "Escape");
// false for any other.
bool ViewerKeyForName(const char* name, ViewerKey* key);
