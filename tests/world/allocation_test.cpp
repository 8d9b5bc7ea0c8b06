#include <gtest/gtest.h>

#include "tests/support/allocation_counter.h"
#include "tests/support/game_reset.h"
#include "timing/second_timer.h"
#include "world/frame_step.h"
#include "world/world_values.h"

namespace {

TEST(FrameStepAllocation, ManyFramesAllocateNothing) {
    ResetGame();
    leftComputer = true;
    rightComputer = true;
    RunFrame();  // the first frame starts the timer; that is not a per-frame cost
    splashActive.store(false);
    trailInterval.store(3);
    const long before = AllocationsSoFar();
    for (int i = 0; i < 200000; ++i) {
        RunFrame();
    }
    const long after = AllocationsSoFar();
    EXPECT_EQ(after - before, 0);
    EXPECT_NE(ball.MinCorner().x, 0.0);  // the frames really ran
}

}  // namespace
