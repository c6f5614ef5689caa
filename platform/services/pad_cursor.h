#pragma once
// How a gamepad's stick and d-pad move the game's cursor, one 1/60 s frame at a time: pure
// functions, the same for every backend, so a pad feels the same on the desktop, on
// Windows and in the page.
//
// The stick has a round dead zone; past it the tilt is rescaled to start from nothing,
// so the cursor sets off slowly instead of jumping to the dead zone's speed. Full tilt
// moves `speed` game pixels a second, in a straight line: the speed depends on the tilt
// only, never on how long it is held. The fraction of a pixel a frame leaves over is
// carried to the next, so slow tilts still move. The d-pad moves one pixel at the press,
// then, held, starts slowly and reaches the stick's full speed within half a second.
// The precision button scales both. The cursor stays on the 640x480 screen.

constexpr int kPadSpeedMin = 250, kPadSpeedMax = 1500, kPadSpeedDefault = 600;     // px/s
constexpr int kPadDeadZoneMin = 0, kPadDeadZoneMax = 30, kPadDeadZoneDefault = 8;  // % of full tilt
constexpr int kPadPrecisionMin = 10, kPadPrecisionMax = 100,
              kPadPrecisionDefault = 33;  // % of the speed

struct PadSettings {
    int speed = kPadSpeedDefault;
    int deadZone = kPadDeadZoneDefault;
    int precision = kPadPrecisionDefault;
};

inline bool operator==(const PadSettings& a, const PadSettings& b) {
    return a.speed == b.speed && a.deadZone == b.deadZone && a.precision == b.precision;
}

// What the pad asks of the cursor in one frame.
struct PadAim {
    double x = 0, y = 0;  // the left stick, -1..1 each, right and down positive
    bool up = false, down = false, left = false, right = false;  // the d-pad
    bool precision = false;                                      // the right shoulder
};

// What one frame leaves to the next: the fractions of a pixel not yet moved (in
// 1/65536 of a pixel) and how long the d-pad has been held.
struct PadMotion {
    long long carryX = 0, carryY = 0;
    int dpadFrames = 0;
};

struct CursorSpot {
    int x, y;
};

// The stick's tilt past the dead zone, 0..1 (a tilt beyond the unit circle counts as 1).
double PadStickTilt(double x, double y, int deadZonePercent);

// One frame: where the cursor at `from` goes, and what carries over in *motion.
CursorSpot StepPadCursor(const PadSettings& settings, const PadAim& aim, CursorSpot from,
                         PadMotion* motion);

// The d-pad's timing, in frames: after the press's one-pixel step it rests, then speeds
// up from a tenth of the full speed to the whole of it.
constexpr int kDpadRestFrames = 15;
constexpr int kDpadRampFrames = 30;
