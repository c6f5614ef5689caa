#pragma once
// Where a click would swat a fly now: the test player (--autoplay) clicks there, and the
// verifier compares rounds with it.

// On the oldest fly a cursor on the screen can reach. False when none can be reached.
bool AutoplayAim(int* x, int* y);
