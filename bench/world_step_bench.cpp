// Cost of one frame of the world with drawing off: ball, contacts, computer
// players, fading and paddles, as the game runs them between two swaps.
#include <benchmark/benchmark.h>

#include "tests/support/allocation_counter.h"
#include "tests/support/game_reset.h"
#include "timing/second_timer.h"
#include "world/frame_step.h"
#include "world/world_values.h"

namespace {

// A fresh match in play, as after the splash.
void StartMatch() {
    ResetGame();
    leftComputer = true;
    rightComputer = true;
    RunFrame();
    splashActive.store(false);
    trailInterval.store(10);
}

// Every paddle hit speeds the ball up for good, so a match of many hours is
// a blur of misses; restarting every ten minutes of frames keeps the mix of
// flight, bounces and misses a player sees.
constexpr std::int64_t kFramesPerMatch = 90 * 600;

void BM_RunFrame(benchmark::State& state) {
    StartMatch();
    std::int64_t frames = 0;
    long restartAllocations = 0;
    const long before = AllocationsSoFar();
    for (auto _ : state) {
        benchmark::DoNotOptimize(RunFrame());
        // The tick's share: one take-and-reset a second at 90 frames.
        if (++frames % 90 == 0) {
            OnSecondTick(0, 0, 0, 0, 0);
        }
        if (frames % kFramesPerMatch == 0) {
            state.PauseTiming();
            const long restartBefore = AllocationsSoFar();
            StartMatch();
            restartAllocations += AllocationsSoFar() - restartBefore;
            state.ResumeTiming();
        }
    }
    state.counters["allocs_per_frame"] = benchmark::Counter(
        static_cast<double>(AllocationsSoFar() - before - restartAllocations) / static_cast<double>(frames));
    state.SetItemsProcessed(frames);
}
BENCHMARK(BM_RunFrame);

}  // namespace

BENCHMARK_MAIN();
