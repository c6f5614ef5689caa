// The replay viewer's seeks in the corpus's longest round (1000 flies, 5336 frames), as
// the whole game runs them headless: from the control to the target frame drawn and
// flipped. One run of the game takes every sample; each benchmark reports its samples
// as iterations (manual time), with the worst as a counter.
//   SeekAnyFrame  1,000 seeks to random frames, once every snapshot is kept
//   FrameBack     200 steps one frame back from random frames
//   FirstSeekToEnd  the first control of the run: from frame 0 to the last frame, before
//                 any snapshot beyond frame 0 exists (every frame played on the way)
// Run from the repository root: build-release/replay_seek_bench
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/core/game_run.h"
#include "replay/replay_viewer.h"

bool ProcessUsage(long*, double*) { return false; }

namespace {

using Clock = std::chrono::steady_clock;

struct Samples {
    std::vector<double> first, any, back;
};

enum class Stage { Start, First, Any, BackFrom, BackTo, Done };

struct Run {
    Stage stage = Stage::Start;
    long long frames = 0;
    std::mt19937 random{7};
    Clock::time_point since;
    int left = 0;
    Samples samples;
};

Run g;

long long RandomFrame(long long lo) { return std::uniform_int_distribution<long long>(lo, g.frames - 1)(g.random); }

double Took() { return std::chrono::duration<double>(Clock::now() - g.since).count(); }

void Timed(long long frame) {
    g.since = Clock::now();
    ViewerSeek(frame);
}

void Arrive(long long) {
    switch (g.stage) {
    case Stage::Start:
        g.stage = Stage::First;
        return Timed(g.frames - 1);
    case Stage::First:
        g.samples.first.push_back(Took());
        // Every snapshot is kept once the round has been played through.
        g.stage = Stage::Any;
        g.left = 1000;
        return Timed(RandomFrame(0));
    case Stage::Any:
        g.samples.any.push_back(Took());
        if (--g.left > 0) return Timed(RandomFrame(0));
        g.stage = Stage::BackFrom;
        g.left = 200;
        return ViewerSeek(RandomFrame(1));
    case Stage::BackFrom:
        g.stage = Stage::BackTo;
        g.since = Clock::now();
        return ViewerStep(-1);
    case Stage::BackTo:
        g.samples.back.push_back(Took());
        if (--g.left > 0) {
            g.stage = Stage::BackFrom;
            return ViewerSeek(RandomFrame(1));
        }
        g.stage = Stage::Done;
        return ViewerLeave();
    case Stage::Done:
        return;
    }
}

const Samples& Measure() {
    static bool done = false;
    if (done) return g.samples;
    done = true;
    static std::string replay = "tests/replays/1000-flies-speed-2.zrp";
    static char zumble[] = "zumble", headless[] = "--headless", option[] = "--replay";
    char* argv[] = {zumble, headless, option, replay.data()};
    if (PrepareRun(4, argv) != -1) std::abort();
    g.frames = ViewerFrames();
    SetViewerArrival(Arrive);
    PlayRun();
    if (g.stage != Stage::Done) std::abort();
    return g.samples;
}

void Report(benchmark::State& state, const std::vector<double>& samples) {
    std::size_t i = 0;
    for (auto _ : state) state.SetIterationTime(samples[i++ % samples.size()]);
    state.counters["worst_ms"] = *std::max_element(samples.begin(), samples.end()) * 1000;
    std::vector<double> sorted = samples;
    std::sort(sorted.begin(), sorted.end());
    state.counters["median_ms"] = sorted[sorted.size() / 2] * 1000;
}

void BM_FirstSeekToEnd(benchmark::State& state) { Report(state, Measure().first); }
void BM_SeekAnyFrame(benchmark::State& state) { Report(state, Measure().any); }
void BM_FrameBack(benchmark::State& state) { Report(state, Measure().back); }

BENCHMARK(BM_FirstSeekToEnd)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeekAnyFrame)->UseManualTime()->Iterations(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameBack)->UseManualTime()->Iterations(200)->Unit(benchmark::kMillisecond);

}  // namespace
