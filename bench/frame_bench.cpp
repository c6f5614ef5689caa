// The worst play frame (1000 flies at the top speed, every effect list full, the results
// board showing) as the game runs it, and the presentation step. Run from the repository
// root so that the play sheet loads: build/frame_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "media/display.h"
#include "objects/instances.h"
#include "platform/services/options.h"
#include "platform/stand_in/runtime.h"
#include "platform/stand_in/scale_convert.h"
#include "scenes/play.h"
#include "shell/globals.h"
#include "shell/winmain.h"

namespace {

void StartDisplay() {
    static bool started = false;
    if (started) return;
    started = true;
    if (!StartHeadlessDisplay()) std::abort();
    FlyCountSetting = 3;
    SpeedSetting = 3;
    EnterPlay();
}

// Every play list at capacity, spread over the screen.
void FillWorstFrame() {
    ClearPlayLists();
    while (Flies.Add(8.0 + 0.1 * (Flies.Count() % 10))) {}
    for (int i = 0; i < 100; ++i) {
        const double x = (i * 37) % 600, y = (i * 53) % 400;
        FallingBodies.Add(Body{x, y, 0, -8, 0, 0.5, 0});
        BouncingBodies.Add(Body{x + 10, y, 0, -8, 0, 0.5, 0});
        SwatMarks.Add(static_cast<int>(x), static_cast<int>(y));
    }
    for (int i = 0; i < 40; ++i) {
        DebrisA.Add(Body{100.0 + i * 10, 200, 3, -2, 0, 0, 0});
        DebrisB.Add(Body{100.0 + i * 10, 250, -3, 2, 0, 0, 0});
    }
    ResultBlink.Add(0, 0);
    RoundPhase = AwaitingClick;
    FliesSpawned = TargetFlies;
}

void BM_WorstPlayFrame(benchmark::State& state) {
    StartDisplay();
    for (auto _ : state) {
        state.PauseTiming();
        FillWorstFrame();
        state.ResumeTiming();
        PlayFrame();
    }
}
BENCHMARK(BM_WorstPlayFrame)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->DisplayAggregatesOnly(true);

void BM_DrawWorstFrame(benchmark::State& state) {
    StartDisplay();
    FillWorstFrame();
    Flies.Get();
    for (auto _ : state) DrawPlay(0);
}
BENCHMARK(BM_DrawWorstFrame)->Unit(benchmark::kMicrosecond);

void BM_Presentation(benchmark::State& state) {
    std::vector<std::uint8_t> pixels(640 * 480);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 7);
    PALETTEENTRY palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i), 7, 0};
    std::vector<std::uint32_t> out(640 * 480);
    for (auto _ : state) {
        PaletteToArgb(pixels.data(), 640 * 480, palette, out.data());
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_Presentation)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->DisplayAggregatesOnly(true);

// The path without a GPU: the frame through the palette and enlarged by the argument's
// factor in one pass, into window pixels of exactly that size.
void BM_ScaleConvert(benchmark::State& state) {
    const int scale = static_cast<int>(state.range(0));
    std::vector<std::uint8_t> pixels(640 * 480);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 7);
    std::uint32_t table[256];
    for (int i = 0; i < 256; ++i) table[i] = 0xFF000000u | std::uint32_t(i) * 0x010101u;
    const int w = 640 * scale, h = 480 * scale;
    std::vector<std::uint32_t> window(std::size_t(w) * h);
    for (auto _ : state) {
        ScaleConvert(pixels.data(), table, FitPicture(w, h), window.data(), w, h, w * 4);
        benchmark::DoNotOptimize(window.data());
    }
}
BENCHMARK(BM_ScaleConvert)->Arg(1)->Arg(2)->Arg(3)->Arg(4)->Unit(benchmark::kMicrosecond);

}  // namespace
