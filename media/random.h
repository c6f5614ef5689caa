#pragma once
// The game's single pseudo-random sequence.

#include <cstdint>

int NextRandom();
void SeedRandom(std::uint32_t seed);
std::uint32_t RandomState();
