// Cost of one frame of the world with drawing off: ball, contacts, computer
// players, fading and paddles, as the game runs them between two swaps.
#include <benchmark/benchmark.h>

#include "tests/support/allocation_counter.h"
#include "tests/support/game_reset.h"
#include "timing/second_timer.h"
#include "world/frame_step.h"
#include "world/world_values.h"


namespace {

void BM_RunFrame(benchmark::State& state) {
    ResetGame();
    leftComputer = true;
    rightComputer = true;
    RunFrame();
    splashActive.store(false);
    trailInterval.store(10);
    std::int64_t frames = 0;
    const long before = AllocationsSoFar();
    for (auto _ : state) {
        benchmark::DoNotOptimize(RunFrame());
        // The tick's share: one take-and-reset a second at 90 frames.
        if (++frames % 90 == 0) {
            OnSecondTick(0, 0, 0, 0, 0);
        }
    }
    state.counters["allocs_per_frame"] =
        benchmark::Counter(static_cast<double>(AllocationsSoFar() - before) / static_cast<double>(frames));
    state.counters["points"] = leftScore + rightScore;
    state.SetItemsProcessed(frames);
}
BENCHMARK(BM_RunFrame);

}  // namespace

BENCHMARK_MAIN();
