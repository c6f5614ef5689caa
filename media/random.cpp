#include "media/random.h"

namespace {
std::uint32_t state = 1;
}

int NextRandom() {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
}

void SeedRandom(std::uint32_t seed) { state = seed; }

std::uint32_t RandomState() { return state; }
