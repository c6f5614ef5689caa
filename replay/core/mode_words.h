#pragma once
// A mode in words, as the mode-select screen writes its speed: "10 flies, NORMAL".
// One text for the viewer, the lists, the history, the page and the board.

#include <cstddef>

// "SLOW", "NORMAL", "FAST", "CRAZY" for speeds 1..4; "speed N" is not a word, so any
// other speed gives nullptr.
const char* SpeedWord(int speed);

// "10 flies, NORMAL" into out (always closed; cut to capacity); an unknown speed is
// written as "speed N". Returns the length written.
std::size_t ModeName(int flies, int speed, char* out, std::size_t capacity);
