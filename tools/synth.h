// Small building blocks for the game's sounds: level setting and a resonant filter.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/wave_file.h"

constexpr double kPi = 3.14159265358979323846;

inline int Samples(double seconds) { return static_cast<int>(seconds * kSampleRate + 0.5); }

// Scales the loudest sample to `peak` (of full scale) and rounds to 16 bits.
std::vector<std::int16_t> ToPcm(const std::vector<double>& wave, double peak);

// A state-variable filter: band-pass for whooshes, low-pass for thuds.
class Resonator {
public:
    // Set per sample so the centre can sweep; q around 1 is gentle, below 0.5 sharp.
    void Tune(double hz, double damping);
    double BandPass(double in);
    double LowPass() const { return low_; }

private:
    double f_ = 0.1;
    double damping_ = 1.0;
    double low_ = 0.0;
    double band_ = 0.0;
};
