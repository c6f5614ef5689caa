#pragma once

// The headless test player (--autoplay): registered as a flip hook, it swats the oldest
// live fly that a cursor inside the screen can hit, at most one click every 4 frames,
// and clicks once to leave the results board when it accepts clicks (where it aims:
// scenes/play_aim.h).
void StartAutoplay();
