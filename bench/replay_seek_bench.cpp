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
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "platform/services/process_usage.h"
#include "replay/replay_viewer.h"
#include "shell/driver/game_run.h"

bool ProcessUsage(long*, double*) { return false; }

namespace {

using Clock = std::chrono::steady_clock;

struct Samples {
    std::vector<double> first, any, back;           // wall time, seconds
    std::vector<double> firstCpu, anyCpu, backCpu;  // the process's CPU time
};

enum class Stage { Start, First, Any, BackFrom, BackTo, Done };

struct Run {
    Stage stage = Stage::Start;
    long long frames = 0;
    std::mt19937 random{7};
    Clock::time_point since;
    double sinceCpu = 0;
    int left = 0;
    Samples samples;
};

Run g;

long long RandomFrame(long long lo) {
    return std::uniform_int_distribution<long long>(lo, g.frames - 1)(g.random);
}

// CPU time as well as wall time: on a busy machine the wall time shows the other
// programs' share too.
double CpuNow() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double Took() { return std::chrono::duration<double>(Clock::now() - g.since).count(); }
double TookCpu() { return CpuNow() - g.sinceCpu; }

void Start() {
    g.since = Clock::now();
    g.sinceCpu = CpuNow();
}

void Timed(long long frame) {
    Start();
    ViewerSeek(frame);
}

void Arrive(long long) {
    switch (g.stage) {
    case Stage::Start: g.stage = Stage::First; return Timed(g.frames - 1);
    case Stage::First:
        g.samples.first.push_back(Took());
        g.samples.firstCpu.push_back(TookCpu());
        // Every snapshot is kept once the round has been played through.
        g.stage = Stage::Any;
        g.left = 1000;
        return Timed(RandomFrame(0));
    case Stage::Any:
        g.samples.any.push_back(Took());
        g.samples.anyCpu.push_back(TookCpu());
        if (--g.left > 0) return Timed(RandomFrame(0));
        g.stage = Stage::BackFrom;
        g.left = 200;
        return ViewerSeek(RandomFrame(1));
    case Stage::BackFrom:
        g.stage = Stage::BackTo;
        Start();
        return ViewerStep(-1);
    case Stage::BackTo:
        g.samples.back.push_back(Took());
        g.samples.backCpu.push_back(TookCpu());
        if (--g.left > 0) {
            g.stage = Stage::BackFrom;
            return ViewerSeek(RandomFrame(1));
        }
        g.stage = Stage::Done;
        return ViewerLeave();
    case Stage::Done: return;
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

void Report(benchmark::State& state, const std::vector<double>& samples,
            const std::vector<double>& cpu) {
    std::size_t i = 0;
    for (auto _ : state) state.SetIterationTime(samples[i++ % samples.size()]);
    std::vector<double> sorted = samples;
    std::sort(sorted.begin(), sorted.end());
    state.counters["median_ms"] = sorted[sorted.size() / 2] * 1000;
    state.counters["worst_ms"] = sorted.back() * 1000;
    sorted = cpu;
    std::sort(sorted.begin(), sorted.end());
    state.counters["cpu_median_ms"] = sorted[sorted.size() / 2] * 1000;
    state.counters["cpu_worst_ms"] = sorted.back() * 1000;
}

void BM_FirstSeekToEnd(benchmark::State& state) {
    Report(state, Measure().first, Measure().firstCpu);
}
void BM_SeekAnyFrame(benchmark::State& state) {
    Report(state, Measure().any, Measure().anyCpu);
    state.counters["store_mb"] = static_cast<double>(ViewerCountsSoFar().storeBytes) / (1 << 20);
}
void BM_FrameBack(benchmark::State& state) { Report(state, Measure().back, Measure().backCpu); }

BENCHMARK(BM_FirstSeekToEnd)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeekAnyFrame)->UseManualTime()->Iterations(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameBack)->UseManualTime()->Iterations(200)->Unit(benchmark::kMillisecond);

}  // namespace
