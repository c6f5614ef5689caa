#pragma once
// `zumble --history [FLIES SPEED]`: the rounds played, oldest first, as the player reads
// them.

#include <cstdio>

// Prints every good line of the history (or those of one mode: FLIES 10, 30, 100 or 1000,
// SPEED 1..4 or its word, SLOW to CRAZY; both empty for every mode), or one line saying
// there are none. Returns the exit code: 2 for a mode that is none, with one line on
// stderr.
int ListHistory(std::FILE* out, const char* flies, const char* speed);
