#pragma once
// Where a click would swat a fly now: the test player (--autoplay) clicks there, and the
// verifier compares rounds with it.

// On the oldest fly a cursor on the screen can reach. False when none can be reached.
bool AutoplayAim(int* x, int* y);
// Where it would click on the fly whose record is at (flyX, flyY); false when no cursor
// on the screen reaches that fly.
bool AutoplayAimAt(int flyX, int flyY, int* x, int* y);
