// Conversion of a buffer's samples to the mix form, done once when it is filled: 8-bit
// samples widened, and a sound at another rate resampled to MIX_RATE through a windowed
// sinc low-pass, so that nothing above the lower rate's band folds back as a false tone.
// The channel count stays: the mixer spreads a mono sound over both sides as it adds it.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <numeric>
#include <vector>

#include "platform/stand_in/sound_mixer.h"

namespace {

// The filter passes up to 90% of the lower of the two Nyquist rates and spans this many
// zero crossings of its sinc on each side; the Kaiser window's beta sets the stop band
// at about 90 dB down.
constexpr double kPassFraction = 0.9;
constexpr int kZeroCrossings = 32;
constexpr double kKaiserBeta = 9.0;
// Kernel table resolution: entries per input sample, interpolated linearly between.
constexpr int kTableSteps = 128;
// Largest table of per-phase weights (16 MiB of them): every rate up to the mix rate fits.
constexpr std::size_t kMaxPhaseTable = std::size_t{1} << 21;

// The zeroth-order modified Bessel function of the first kind, by its series.
double BesselI0(double x) {
    double sum = 1.0, term = 1.0;
    const double q = x * x / 4.0;
    for (int k = 1; k < 64 && term > sum * 1e-17; ++k) {
        term *= q / (static_cast<double>(k) * k);
        sum += term;
    }
    return sum;
}

double SampleAt(const BYTE* data, std::size_t frame, int channel, int channels, bool eightBit) {
    const std::size_t i =
        frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel);
    if (eightBit) return (static_cast<int>(data[i]) - 128) * 256.0;
    return static_cast<std::int16_t>(data[2 * i] | data[2 * i + 1] << 8);
}

std::int16_t ToSample(double v) {
    return static_cast<std::int16_t>(std::lrint(std::clamp(v, -32768.0, 32767.0)));
}

// Same rate: 16-bit samples are taken as they are, 8-bit ones widened exactly.
void Widen(const BYTE* data, std::size_t frames, int channels, bool eightBit, std::int16_t* out) {
    const std::size_t n = frames * static_cast<std::size_t>(channels);
    if (!eightBit) {
        for (std::size_t i = 0; i < n; ++i)
            out[i] = static_cast<std::int16_t>(data[2 * i] | data[2 * i + 1] << 8);
        return;
    }
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::int16_t>((data[i] - 128) * 256);
}

void Resample(const BYTE* data, std::size_t inFrames, int channels, bool eightBit,
              std::uint32_t inRate, std::size_t outFrames, std::int16_t* out) {
    // Cut-off in cycles per input sample, and the kernel's half width in input samples.
    const double cutoff = kPassFraction * 0.5 * std::min<double>(inRate, MIX_RATE) / inRate;
    const double halfWidth = kZeroCrossings / (2.0 * cutoff);
    const int reach = static_cast<int>(std::ceil(halfWidth));
    std::vector<float> kernel(static_cast<std::size_t>(reach) * kTableSteps + 2, 0.0f);
    const double norm = BesselI0(kKaiserBeta);
    for (std::size_t i = 0; i < kernel.size(); ++i) {
        const double d = static_cast<double>(i) / kTableSteps;
        if (d >= halfWidth) break;
        const double x = 2.0 * cutoff * d;
        const double sinc =
            x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
        const double r = d / halfWidth;
        kernel[i] = static_cast<float>(2.0 * cutoff * sinc *
                                       BesselI0(kKaiserBeta * std::sqrt(1.0 - r * r)) / norm);
    }
    auto weight = [&](double d) {
        const double at = std::fabs(d) * kTableSteps;
        const std::size_t i = static_cast<std::size_t>(at);
        if (i + 1 >= kernel.size()) return 0.0;
        const double f = at - static_cast<double>(i);
        return kernel[i] + (kernel[i + 1] - kernel[i]) * f;
    };
    // Output frame n lies at input position n * inRate / MIX_RATE, kept exact: its
    // fraction takes one of MIX_RATE / gcd values, the filter's phases. Each phase's
    // weights (tap j at input frame whole - reach + 1 + j) are worked out once, so that
    // a frame costs only its multiplications; where a rate has too many phases for the
    // table, each frame's weights are worked out once for all its channels.
    const std::size_t taps = 2 * static_cast<std::size_t>(reach);
    const std::uint32_t step = std::gcd(inRate, static_cast<std::uint32_t>(MIX_RATE));
    const std::size_t phases = MIX_RATE / step;
    const bool tabled = phases * taps <= kMaxPhaseTable && phases < outFrames;
    std::vector<double> weights(tabled ? phases * taps : taps);
    auto fillRow = [&](std::size_t phase, double* row) {
        const double frac = static_cast<double>(phase * step) / MIX_RATE;
        for (std::size_t j = 0; j < taps; ++j)
            row[j] = weight(static_cast<double>(reach - 1) - static_cast<double>(j) + frac);
    };
    if (tabled)
        for (std::size_t p = 0; p < phases; ++p) fillRow(p, weights.data() + p * taps);
    for (std::size_t n = 0; n < outFrames; ++n) {
        const std::uint64_t scaled = static_cast<std::uint64_t>(n) * inRate;
        const long long whole = static_cast<long long>(scaled / MIX_RATE);
        const std::size_t phase = static_cast<std::size_t>(scaled % MIX_RATE) / step;
        const double* row = weights.data();
        if (tabled)
            row += phase * taps;
        else
            fillRow(phase, weights.data());
        const long long base = whole - reach + 1;  // the input frame of tap 0
        const long long first = std::max<long long>(0, base);
        const long long last =
            std::min<long long>(static_cast<long long>(inFrames) - 1, whole + reach);
        for (int c = 0; c < channels; ++c) {
            double sum = 0.0;
            for (long long k = first; k <= last; ++k)
                sum += row[k - base] *
                       SampleAt(data, static_cast<std::size_t>(k), c, channels, eightBit);
            out[n * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
                ToSample(sum);
        }
    }
}

}  // namespace

bool MixFrameCount(const WAVEFORMATEX& format, std::size_t bytes, std::size_t* frames) {
    *frames = 0;
    if (format.nChannels < 1 || (format.wBitsPerSample != 8 && format.wBitsPerSample != 16) ||
        format.nBlockAlign != format.nChannels * format.wBitsPerSample / 8 ||
        format.nSamplesPerSec == 0)
        return false;
    const std::size_t inFrames = bytes / format.nBlockAlign;
    const std::uint32_t rate = format.nSamplesPerSec;
    *frames =
        rate == MIX_RATE
            ? inFrames
            : static_cast<std::size_t>(static_cast<std::uint64_t>(inFrames) * MIX_RATE / rate);
    return true;
}

bool ConvertToMix(const WAVEFORMATEX& format, const BYTE* data, std::size_t bytes,
                  std::vector<std::int16_t>* out) {
    out->clear();
    std::size_t outFrames = 0;
    if (!MixFrameCount(format, bytes, &outFrames)) return false;
    const std::size_t inFrames = bytes / format.nBlockAlign;
    if (inFrames == 0) return true;
    const int channels = format.nChannels;
    const bool eightBit = format.wBitsPerSample == 8;
    const std::uint32_t rate = format.nSamplesPerSec;
    out->resize(outFrames * static_cast<std::size_t>(channels));
    if (rate == MIX_RATE)
        Widen(data, inFrames, channels, eightBit, out->data());
    else
        Resample(data, inFrames, channels, eightBit, rate, outFrames, out->data());
    return true;
}
