#include "tools/synth.h"

#include <algorithm>
#include <cmath>

std::vector<std::int16_t> ToPcm(const std::vector<double>& wave, double peak) {
    double loudest = 0.0;
    for (double s : wave) loudest = std::max(loudest, std::abs(s));
    const double gain = loudest > 0.0 ? peak * 32767.0 / loudest : 0.0;
    std::vector<std::int16_t> out;
    out.reserve(wave.size());
    for (double s : wave) {
        const long v = std::lround(s * gain);
        out.push_back(static_cast<std::int16_t>(std::clamp(v, -32767L, 32767L)));
    }
    return out;
}

void Resonator::Tune(double hz, double damping) {
    f_ = 2.0 * std::sin(kPi * std::min(hz, kSampleRate / 6.0) / kSampleRate);
    damping_ = damping;
}

double Resonator::BandPass(double in) {
    low_ += f_ * band_;
    const double high = in - low_ - damping_ * band_;
    band_ += f_ * high;
    return band_;
}
