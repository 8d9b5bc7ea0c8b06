#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/test/test_platform.h"
#include "tests/support/game_reset.h"
#include "timing/second_timer.h"
#include "world/frame_step.h"
#include "world/world_values.h"

namespace {

class FrameStep : public ::testing::Test {
protected:
    void SetUp() override {
        ResetGame();
        splashActive.store(false);
    }
};

TEST_F(FrameStep, FirstFrameStartsTheTimerOnceAndCountsItself) {
    splashActive.store(true);
    RunFrame();
    RunFrame();
    EXPECT_TRUE(timerStarted);
    EXPECT_EQ(testplatform::CallsNamed({"TimeSetEvent"}).size(), 1u);
    EXPECT_EQ(testplatform::CallsNamed({"TimeSetEvent"})[0], "TimeSetEvent(1000,1,1)");
    EXPECT_EQ(framesThisSecond.load(), 2);
}

TEST_F(FrameStep, SplashFramesMoveNothingButThePaddles) {
    splashActive.store(true);
    // The computer players do not steer: the left paddle would head for the
    // centre, the right one would let go of Up.
    leftComputer = true;
    rightComputer = true;
    keys[kKeyUp] = true;
    for (int i = 0; i < 30; ++i) {
        EXPECT_TRUE(RunFrame());
    }
    EXPECT_EQ(ball.MinCorner().x, 0.0);
    EXPECT_EQ(framesSinceTrail, 0);
    EXPECT_EQ(trail[0].MaxCorner().x, 0.0);
    EXPECT_GT(rightPaddle.MinCorner().y, 0.0);
    EXPECT_EQ(leftPaddle.MinCorner().y, 0.0);
    EXPECT_FALSE(keys[kKeyS] || keys[kKeyW] || keys[kKeyDown]);
}

TEST_F(FrameStep, BallMovesByItsVelocityScaledByTheFrameRate) {
    RunFrame();
    EXPECT_NEAR(ball.MinCorner().x, 0.44995 * 6.3 / 144, 1e-6);
    EXPECT_NEAR(ball.MinCorner().y, 0.53623 * 6.3 / 144, 1e-6);
    EXPECT_NEAR(ball.MinCorner().x, 0.019685, 1e-6);
    EXPECT_NEAR(ball.MinCorner().y, 0.023460, 1e-6);
}

// The ball, and a paddle while its key is held, after a second without frames.
class ZeroFrameRate : public FrameStep, public ::testing::WithParamInterface<std::string> {
protected:
    static double Position() { return GetParam() == "ball" ? ball.MinCorner().x : leftPaddle.MinCorner().y; }
};

TEST_P(ZeroFrameRate, UsesTheLastRateThatWasNotZero) {
    keys[kKeyW] = true;
    framesPerSecond.store(45);
    RunFrame();
    const double step = Position();
    framesPerSecond.store(0);
    RunFrame();
    EXPECT_NEAR(Position(), 2 * step, 1e-12);
    EXPECT_TRUE(std::isfinite(ball.MinCorner().y));
}

INSTANTIATE_TEST_SUITE_P(BallAndPaddles, ZeroFrameRate, ::testing::Values("ball", "paddle"));

TEST_F(FrameStep, TrailMovesOnEveryIntervalthFrame) {
    trailInterval.store(14);
    for (int i = 0; i < 13; ++i) {
        RunFrame();
    }
    EXPECT_EQ(trail[0].MaxCorner().x, 0.0);
    const Box before = ball;
    RunFrame();
    EXPECT_EQ(framesSinceTrail, 0);
    EXPECT_EQ(trail[0].MinCorner().x, before.MinCorner().x);
    EXPECT_EQ(trail[0].MaxCorner().y, before.MaxCorner().y);
    for (int i = 0; i < 14; ++i) {
        RunFrame();
    }
    EXPECT_EQ(trail[1].MinCorner().x, before.MinCorner().x);
    EXPECT_GT(trail[0].MinCorner().x, before.MinCorner().x);
}

TEST_F(FrameStep, IntervalOfOneShiftsTheTrailEveryFrame) {
    trailInterval.store(1);
    for (int i = 0; i < 12; ++i) {
        RunFrame();
    }
    for (int i = 0; i + 1 < kTrailLength; ++i) {
        EXPECT_GT(trail[i].MinCorner().x, trail[i + 1].MinCorner().x) << i;
    }
}

TEST_F(FrameStep, FlashedStripsFadeBackInOneSecondOfFrames) {
    leftGoalColor = leftGoalFlashColor;
    rightGoalColor = rightGoalFlashColor;
    RunFrame();
    EXPECT_NEAR(leftGoalColor.r, 1.0f - 1.0f / 90, 1e-6);
    EXPECT_NEAR(leftGoalColor.g, 1.0f - 0.36f / 90, 1e-6);
    EXPECT_NEAR(rightGoalColor.g, 0.08f + 0.56f / 90, 1e-6);
    EXPECT_NEAR(rightGoalColor.b, 0.52f + 0.48f / 90, 1e-6);
    EXPECT_EQ(leftGoalColor.b, 1.0f);
    EXPECT_EQ(rightGoalColor.r, 0.0f);
    for (int i = 1; i < 90; ++i) {
        RunFrame();
    }
    // The white flash is back at rest after 90 frames, at most one step beyond.
    EXPECT_LE(leftGoalColor.r, 0.0f);
    EXPECT_GT(leftGoalColor.r, -1.0f / 90);
    EXPECT_LE(leftGoalColor.g, goalRestColor.g);
    EXPECT_GT(leftGoalColor.g, goalRestColor.g - 0.36f / 90);
    // Single-precision steps may leave the dark flash one step short; the
    // next frame finishes it.
    RunFrame();
    EXPECT_GE(rightGoalColor.g, goalRestColor.g);
    EXPECT_GE(rightGoalColor.b, 1.0f);
    const Color3 rested = leftGoalColor;
    const Color3 restedRight = rightGoalColor;
    for (int i = 0; i < 10; ++i) {
        RunFrame();
    }
    EXPECT_EQ(leftGoalColor.r, rested.r);
    EXPECT_EQ(leftGoalColor.g, rested.g);
    EXPECT_EQ(rightGoalColor.b, restedRight.b);
}

TEST_F(FrameStep, FadingFollowsTheMeasuredFrameRate) {
    framesPerSecond.store(60);
    leftGoalColor = leftGoalFlashColor;
    for (int i = 0; i < 59; ++i) {
        RunFrame();
    }
    EXPECT_NEAR(leftGoalColor.r, 1.0f / 60, 1e-5);
    RunFrame();
    EXPECT_NEAR(leftGoalColor.r, 0.0f, 1e-5);  // at rest after 60 frames, within rounding
}

TEST_F(FrameStep, ComputerSteersAfterTheContactsOfItsFrame) {
    rightComputer = true;
    rightPaddle = Box(Vec2(3.01, 0.7), 0.14, 0.6);  // centre 1.0
    ballVelocity.SetPolar(0.7, 0);
    ball = Box(Vec2(2.85, 1.125), 0.15, 0.15);  // centre 1.2, reaches the paddle's face this frame
    RunFrame();
    ASSERT_LT(ballVelocity.Dx(), 0.0);  // bounced
    // Going away now, so it heads for the centre, below, not for the ball above.
    EXPECT_TRUE(keys[kKeyDown]);
    EXPECT_FALSE(keys[kKeyUp]);
}

TEST_F(FrameStep, ComputerPlayersSteerOnlyTheirOwnSideDuringPlay) {
    rightComputer = true;
    RunFrame();  // ball travels right, below the right paddle's centre: it follows down
    EXPECT_TRUE(keys[kKeyDown]);
    EXPECT_FALSE(keys[kKeyUp]);
    EXPECT_FALSE(keys[kKeyW]);
    EXPECT_FALSE(keys[kKeyS]);
}

}  // namespace
