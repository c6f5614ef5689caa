// The background tune: sixteen bars at 108 beats a minute in C major, a music-box lead
// over plucked chords, a soft bass and a quiet shaker. Every note is written into the
// loop modulo its length, so tails that ring past the end sound at the start and the
// loop has no seam.
#include <cmath>
#include <vector>

#include "tools/prng.h"
#include "tools/sounds.h"
#include "tools/synth.h"

namespace {

constexpr int kBeat = kSampleRate * 60 / 108;  // 12250 samples
constexpr int kBars = 16;
constexpr int kLoop = kBars * 4 * kBeat;

struct Note {
    double beat;    // from the start of its bar
    double length;  // in beats
    int key;        // MIDI number
};

struct Chord {
    int bass;
    int tones[3];
};

constexpr Chord kC{48, {60, 64, 67}};
constexpr Chord kAm{45, {57, 60, 64}};
constexpr Chord kF{41, {57, 60, 65}};
constexpr Chord kG{43, {55, 59, 62}};
constexpr Chord kDm{50, {57, 62, 65}};
constexpr Chord kEm{52, {55, 59, 64}};

constexpr Chord kChords[kBars] = {kC, kAm, kF,  kG,  kC, kAm, kDm, kG,
                                  kF, kG,  kEm, kAm, kF, kG,  kC,  kG};

// clang-format off
const std::vector<Note> kMelody[kBars] = {
    {{0, 1, 76}, {1, 1, 79}, {2, 1.5, 84}, {3.5, 0.5, 83}},
    {{0, 1.5, 81}, {1.5, 0.5, 79}, {2, 2, 76}},
    {{0, 1, 77}, {1, 1, 81}, {2, 1, 84}, {3, 1, 81}},
    {{0, 2, 79}, {2, 1, 74}, {3, 0.5, 76}, {3.5, 0.5, 77}},
    {{0, 1, 76}, {1, 1, 79}, {2, 1, 84}, {3, 1, 88}},
    {{0, 1.5, 86}, {1.5, 0.5, 84}, {2, 2, 81}},
    {{0, 1, 77}, {1, 1, 81}, {2, 1, 86}, {3, 1, 84}},
    {{0, 2, 83}, {2, 2, 79}},
    {{0, 1.5, 81}, {1.5, 0.5, 79}, {2, 1, 77}, {3, 1, 81}},
    {{0, 1.5, 79}, {1.5, 0.5, 77}, {2, 2, 74}},
    {{0, 1, 76}, {1, 1, 79}, {2, 1, 83}, {3, 1, 79}},
    {{0, 3, 81}},
    {{0, 1, 84}, {1, 1, 81}, {2, 1, 77}, {3, 1, 81}},
    {{0, 1, 83}, {1, 1, 86}, {2, 1, 83}, {3, 1, 79}},
    {{0, 2, 84}, {2, 1, 79}, {3, 1, 76}},
    {{0, 1, 77}, {1, 1, 76}, {2, 2, 74}},
};
// clang-format on

double Hz(int key) { return 440.0 * std::pow(2.0, (key - 69) / 12.0); }

class Mix {
public:
    Mix() : loop_(kLoop, 0.0) {}
    void Add(long at, double value) { loop_[static_cast<std::size_t>(at % kLoop)] += value; }
    const std::vector<double>& Samples() const { return loop_; }

private:
    std::vector<double> loop_;
};

// Lead: soft sine with a touch of overtone, a gentle swell, late vibrato, short release.
void Lead(Mix& mix, long start, double beats, int key) {
    const double f = Hz(key);
    const double held = beats * kBeat / kSampleRate;
    const double release = 0.15;
    const int n = ::Samples(held + release);
    double phase = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        const double vibrato = t > 0.25 ? 0.003 * std::sin(2 * kPi * 5.0 * t) : 0.0;
        phase += 2 * kPi * f * (1.0 + vibrato) / kSampleRate;
        double env = std::min(1.0, t / 0.012) * (0.55 + 0.45 * std::exp(-t / 0.18));
        if (t > held) env *= 1.0 - (t - held) / release;
        mix.Add(start + i,
                0.30 * env *
                    (std::sin(phase) + 0.25 * std::sin(2 * phase) + 0.08 * std::sin(3 * phase)));
    }
}

// Pluck: a decaying sine, for the chord arpeggio and the bass.
void Pluck(Mix& mix, long start, int key, double level, double decay, double seconds) {
    const double f = Hz(key);
    const int n = ::Samples(seconds);
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        const double fade = std::min(1.0, (seconds - t) / 0.03);
        const double env = std::min(1.0, t / 0.006) * std::exp(-t / decay) * fade;
        mix.Add(start + i,
                level * env * (std::sin(2 * kPi * f * t) + 0.2 * std::sin(4 * kPi * f * t)));
    }
}

void Shaker(Mix& mix, long start, Prng& rng) {
    double last = 0.0;
    const int n = ::Samples(0.05);
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        const double noise = rng.Signed();
        const double bright = noise - last;  // first difference: keeps the hiss high
        last = noise;
        mix.Add(start + i, 0.025 * std::min(1.0, t / 0.003) * std::exp(-t / 0.012) * bright);
    }
}

}  // namespace

std::vector<std::int16_t> MakeMusic() {
    Mix mix;
    Prng rng(108);
    constexpr int kArpeggio[8] = {0, 1, 2, 1, 0, 1, 2, 1};
    for (int bar = 0; bar < kBars; ++bar) {
        const long bar_start = static_cast<long>(bar) * 4 * kBeat;
        const Chord& chord = kChords[bar];
        for (const Note& note : kMelody[bar])
            Lead(mix, bar_start + std::lround(note.beat * kBeat), note.length, note.key);
        for (int eighth = 0; eighth < 8; ++eighth) {
            const long at = bar_start + eighth * kBeat / 2;
            Pluck(mix, at, chord.tones[kArpeggio[eighth]], 0.10, 0.30, 0.9);
            if (eighth % 2 == 1) Shaker(mix, at, rng);
        }
        Pluck(mix, bar_start, chord.bass, 0.30, 0.55, 1.4);
        Pluck(mix, bar_start + 2 * kBeat, chord.bass, 0.24, 0.55, 1.4);
        Pluck(mix, bar_start + 3 * kBeat + kBeat / 2, chord.bass + 7, 0.14, 0.30, 0.6);
    }
    return ToPcm(mix.Samples(), 0.85);
}
