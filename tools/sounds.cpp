#include "tools/sounds.h"

#include <cmath>

#include "tools/prng.h"
#include "tools/synth.h"

namespace {

// A short sine blip whose pitch drops a little, for clicks and buttons.
std::vector<double> Blip(double hz, double seconds, double decay, double noise,
                         std::uint32_t seed) {
    Prng rng(seed);
    std::vector<double> w(Samples(seconds));
    double phase = 0.0;
    for (std::size_t i = 0; i < w.size(); ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        phase += 2.0 * kPi * hz * (1.0 - 0.15 * t / seconds) / kSampleRate;
        const double attack = std::min(1.0, t / 0.002);
        const double tail = std::min(1.0, (seconds - t) / 0.004);  // no click at the end
        const double tone = std::sin(phase) + 0.25 * std::sin(3.0 * phase);
        w[i] = attack * tail * std::exp(-t / decay) *
               (tone + noise * rng.Signed() * std::exp(-t / 0.004));
    }
    return w;
}

}  // namespace

std::vector<std::int16_t> MakeBuzz() {
    // One second of a 210 Hz wing drone: 210 whole periods, and the 3 Hz warble and
    // 7 Hz flutter also complete whole cycles, so the loop joins without a step.
    const int n = kSampleRate;
    std::vector<double> w(n);
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        // Starting half a period in puts the loop point on the smooth part of the wave.
        const double phase = kPi + 2.0 * kPi * 210.0 * t + 3.0 * std::sin(2.0 * kPi * 3.0 * t);
        double s = 0.0;
        for (int k = 1; k <= 30; ++k) {
            // Sawtooth-like, with the nasal hump of a fly's buzz around 1-2 kHz.
            const double hump = 1.0 + 1.5 * std::exp(-std::pow((k * 210.0 - 1500.0) / 600.0, 2));
            s += hump * std::sin(k * phase) / k;
        }
        w[i] = s * (1.0 + 0.25 * std::sin(2.0 * kPi * 7.0 * t));
    }
    return ToPcm(w, 0.45);
}

std::vector<std::int16_t> MakeSwing() {
    Prng rng(77);
    const double length = 0.30;
    std::vector<double> w(Samples(length));
    Resonator air;
    for (std::size_t i = 0; i < w.size(); ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        const double x = t / length;  // 0..1 through the swing
        const double envelope = std::pow(std::sin(kPi * std::pow(x, 0.7)), 2.0);
        air.Tune(350.0 + 1500.0 * std::sin(kPi * x), 0.9);  // rises and falls with the swing
        w[i] = envelope * air.BandPass(rng.Signed());
    }
    return ToPcm(w, 0.5);
}

std::vector<std::int16_t> MakeHit() {
    Prng rng(4242);
    const double length = 0.40;
    std::vector<double> w(Samples(length));
    Resonator splat;
    splat.Tune(900.0, 1.2);
    double phase = 0.0;
    double lowpassed = 0.0;
    for (std::size_t i = 0; i < w.size(); ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        // The thwack: a body thump falling from 150 to 55 Hz.
        phase += 2.0 * kPi * (55.0 + 95.0 * std::exp(-t / 0.03)) / kSampleRate;
        const double thump = std::sin(phase) * std::exp(-t / 0.12);
        // The splat: a wet noise burst, bright at the slap and duller after.
        const double noise = rng.Signed();
        lowpassed += (noise - lowpassed) * (0.15 + 0.6 * std::exp(-t / 0.01));
        const double wet = splat.BandPass(lowpassed) * std::exp(-t / 0.05) * 2.5;
        const double crack = noise * std::exp(-t / 0.004);
        const double tail = std::min(1.0, (length - t) / 0.01);
        // Squeezed a little so the short slap carries over its quieter slot.
        w[i] = std::tanh(2.0 * tail * std::min(1.0, t / 0.001) * (0.9 * thump + wet + 0.5 * crack));
    }
    return ToPcm(w, 0.95);
}

std::vector<std::int16_t> MakeButton() { return ToPcm(Blip(1320.0, 0.07, 0.025, 0.2, 5), 0.35); }

std::vector<std::int16_t> MakeLowClick() { return ToPcm(Blip(880.0, 0.04, 0.010, 0.5, 6), 0.5); }

std::vector<std::int16_t> MakeHighClick() { return ToPcm(Blip(1760.0, 0.035, 0.008, 0.5, 7), 0.5); }

std::vector<std::int16_t> MakeOk() {
    // Two bell notes a fourth apart, G5 then C6, ringing together.
    const double length = 0.8;
    std::vector<double> w(Samples(length));
    const double notes[2][2] = {{0.0, 783.99}, {0.09, 1046.50}};
    for (const auto& note : notes) {
        for (std::size_t i = 0; i < w.size(); ++i) {
            const double t = static_cast<double>(i) / kSampleRate - note[0];
            if (t < 0) continue;
            const double f = note[1];
            const double tone = std::sin(2 * kPi * f * t) * std::exp(-t / 0.30) +
                                0.35 * std::sin(2 * kPi * 2 * f * t) * std::exp(-t / 0.12) +
                                0.12 * std::sin(2 * kPi * 3.01 * f * t) * std::exp(-t / 0.06);
            w[i] += std::min(1.0, t / 0.003) * tone;
        }
    }
    for (std::size_t i = 0; i < w.size(); ++i) {
        const double left = length - static_cast<double>(i) / kSampleRate;
        w[i] *= std::min(1.0, left / 0.05);
    }
    return ToPcm(w, 0.42);
}
