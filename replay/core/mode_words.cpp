#include "replay/core/mode_words.h"

#include <cstdio>

const char* SpeedWord(int speed) {
    static const char* const kWords[] = {"SLOW", "NORMAL", "FAST", "CRAZY"};
    return speed >= 1 && speed <= 4 ? kWords[speed - 1] : nullptr;
}

std::size_t ModeName(int flies, int speed, char* out, std::size_t capacity) {
    if (capacity == 0) return 0;
    const char* word = SpeedWord(speed);
    int n = word ? std::snprintf(out, capacity, "%d flies, %s", flies, word)
                 : std::snprintf(out, capacity, "%d flies, speed %d", flies, speed);
    if (n < 0) {
        out[0] = '\0';
        return 0;
    }
    return static_cast<std::size_t>(n) < capacity ? static_cast<std::size_t>(n) : capacity - 1;
}
