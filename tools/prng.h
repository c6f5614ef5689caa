// A tiny fixed pseudo-random sequence (xorshift32), so the generated art and noise are
// the same on every machine and library version.
#pragma once

#include <cstdint>

class Prng {
public:
    explicit Prng(std::uint32_t seed) : state_(seed != 0 ? seed : 0x9E3779B9u) {}
    std::uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    // 0 .. n-1
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }
    // -1.0 .. 1.0
    double Signed() { return static_cast<double>(Next() >> 8) / 8388608.0 - 1.0; }

private:
    std::uint32_t state_;
};
