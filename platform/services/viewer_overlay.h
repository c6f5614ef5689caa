#pragma once
// What the replay viewer shows over the picture, as plain data in the picture's 640x480
// coordinates, for any presentation layer to draw over the scaled picture (never into
// the game's 8-bit surface). replay/replay_viewer.h fills it.

// The seek bar.
// Across the bottom of the picture, in its 640x480 coordinates. A press within
// kViewerBarGrab of the bar (above or below, for a finger) takes it.
constexpr double kViewerBarX = 16;
constexpr double kViewerBarY = 462;
constexpr double kViewerBarW = 608;
constexpr double kViewerBarH = 8;
constexpr double kViewerBarGrab = 12;

constexpr int kViewerTrailFrames = 30;  // half a second
constexpr int kViewerClickFrames = 60;  // a click's mark fades over a second
constexpr int kViewerMaxClicks = 64;
constexpr int kViewerTextSize = 192;

struct ViewerTrailPoint {
    double x, y;  // where the swatter's hot spot was (the game's cursor + 8, 8)
    double age;   // seconds before the frame shown, 0 .. 0.5
};

struct ViewerClickMark {
    double x, y;   // where the button was pressed (the hot spot)
    double age;    // seconds since, 0 .. 1
    double alpha;  // 1 when pressed, fading to 0 at one second
};

struct ViewerOverlay {
    bool shown;  // O: false, and nothing but the picture is drawn
    bool help;   // ?: the keys' list is shown too
    bool paused;
    bool holdingBar;  // the bar is being dragged
    bool live;        // a round still being played: its frames so far
    bool waiting;     // and the frame shown is the last that has come

    // The cursor's trail, oldest first, ending at the frame shown.
    int trailCount;
    ViewerTrailPoint trail[kViewerTrailFrames + 1];
    // Presses of the last second, oldest first.
    int clickCount;
    ViewerClickMark clicks[kViewerMaxClicks];

    // The line at the top: "100 flies, speed 4   0:12.345   frame 740 of 1622   1x
    // recorded 2026-12-08 by zumble 1.4.0" (the mode, the replay's time at the frame, the
    // frame, the speed, paused, and who recorded it when).
    char topLine[kViewerTextSize];
    // The small help line at the bottom, over the bar.
    char helpLine[kViewerTextSize];
    // ?: the keys, one a line.
    int helpCount;
    char helpLines[12][64];

    long long frame, frames;
    double speed;
    // The bar (its rectangle is kViewerBar*) and the played part: 0..1.
    double barFraction;
};
