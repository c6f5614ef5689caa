// Cost of one frame of object updates. A frame lasts 16.7 ms; 1000 flies should move
// in well under 40 us.
#include <benchmark/benchmark.h>

#include "media/random.h"
#include "objects/instances.h"

namespace {

void FillFlies(int count) {
    Flies.Clear();
    SeedRandom(1);
    for (int i = 0; i < count; ++i) Flies.Add(1 + (i % 8) + 0.1 * (i % 10));
}

void BM_FliesUpdate(benchmark::State& state) {
    FillFlies(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(Flies.Update());
    state.SetItemsProcessed(state.iterations() * state.range(0));
    Flies.Clear();
}
BENCHMARK(BM_FliesUpdate)->Arg(1)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_FliesGet(benchmark::State& state) {
    FillFlies(1000);
    for (auto _ : state) benchmark::DoNotOptimize(Flies.Get());
    Flies.Clear();
}
BENCHMARK(BM_FliesGet)->Unit(benchmark::kMicrosecond);

// Every play list at capacity, updated and walked once, as a busy round frame would.
void BM_PlayFrameAtCapacity(benchmark::State& state) {
    FillFlies(1000);
    const Body falling{300, 200, 0, -8, 0, 0.5, 0};
    for (int i = 0; i < 100; ++i) {
        FallingBodies.Add(falling);
        BouncingBodies.Add(falling);
        SwatMarks.Add(i, i);
    }
    for (int i = 0; i < 40; ++i) {
        DebrisA.Add(Body{300, 200, 1, -2, 0, 0.5, 0});
        DebrisB.Add(Body{300, 200, -1, -2, 0, 0.5, 0});
    }
    ResultBlink.Add(0, 0);
    MotionList* bodies[] = {&FallingBodies, &BouncingBodies, &DebrisA, &DebrisB};
    for (auto _ : state) {
        long sum = 0;
        for (DrawPos* p = Flies.Update(); !IsEnd(p); p = p->next) sum += p->x;
        for (MotionList* list : bodies)
            for (DrawPos* p = list->Update(); !IsEnd(p); p = p->next) sum += p->y;
        for (DrawPos* p = SwatMarks.Update(); !IsEnd(p); p = p->next) sum += p->frame;
        sum += ResultBlink.Update()->frame;
        benchmark::DoNotOptimize(sum);
    }
    Flies.Clear();
    SwatMarks.Clear();
    ResultBlink.Clear();
    for (MotionList* list : bodies) list->Clear();
}
BENCHMARK(BM_PlayFrameAtCapacity)->Unit(benchmark::kMicrosecond);

// Spawning and swatting: a full Add/Remove churn over 1000 flies.
void BM_FliesChurn(benchmark::State& state) {
    FillFlies(1000);
    for (auto _ : state) {
        Flies.Remove(NextRandom() % 1000);
        Flies.Add(3);
    }
    Flies.Clear();
}
BENCHMARK(BM_FliesChurn)->Unit(benchmark::kMicrosecond);

}  // namespace
