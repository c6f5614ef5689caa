#pragma once

// The headless test player (--autoplay): registered as a flip hook, it swats the oldest
// live fly that a cursor inside the screen can hit, at most one click every 4 frames,
// and clicks once to leave the results board when it accepts clicks.
void StartAutoplay();
// Where the test player would click now: on the oldest fly a cursor on the screen can
// reach. False when none can be reached. (The verifier compares rounds with it.)
bool AutoplayAim(int* x, int* y);
// Where it would click on the fly whose record is at (flyX, flyY); false when no cursor
// on the screen reaches that fly.
bool AutoplayAimAt(int flyX, int flyY, int* x, int* y);
