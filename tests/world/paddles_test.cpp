#include <gtest/gtest.h>

#include "tests/support/game_reset.h"
#include "world/paddles.h"
#include "world/world_values.h"

namespace {

class Paddles : public ::testing::Test {
protected:
    void SetUp() override { ResetGame(); }
};

TEST_F(Paddles, StepDependsOnBallSpeedFrameRateAndWhoControlsTheSide) {
    keys[kKeyW] = true;
    keys[kKeyUp] = true;
    rightComputer = true;
    MovePaddles();
    EXPECT_NEAR(leftPaddle.MinCorner().y, 0.7 * 2.4 / 90, 1e-12);
    EXPECT_NEAR(leftPaddle.MinCorner().y, 0.0186666, 1e-6);
    EXPECT_NEAR(rightPaddle.MinCorner().y, 0.014, 1e-12);
    EXPECT_NEAR(leftPaddle.Height(), 0.6, 1e-15);
    EXPECT_EQ(leftPaddle.MinCorner().x, -3.15);
}

TEST_F(Paddles, FasterBallMeansFasterPaddles) {
    ballVelocity.SetPolar(1.4, 30);
    keys[kKeyS] = true;
    MovePaddles();
    EXPECT_NEAR(leftPaddle.MinCorner().y, -1.4 * 2.4 / 90, 1e-12);
}

TEST_F(Paddles, NoMoveUpFromTheTopButDownIsFine) {
    leftPaddle = Box(Vec2(-3.15, 1.7), 0.14, 0.6);
    keys[kKeyW] = true;
    MovePaddles();
    EXPECT_DOUBLE_EQ(leftPaddle.MaxCorner().y, 2.3);
    keys[kKeyW] = false;
    keys[kKeyS] = true;
    MovePaddles();
    EXPECT_NEAR(leftPaddle.MinCorner().y, 1.7 - 0.7 * 2.4 / 90, 1e-12);
}

TEST_F(Paddles, OvershootIsPushedBackToTheEdge) {
    rightPaddle = Box(Vec2(3.01, 2.3 - 0.001 - 0.6), 0.14, 0.6);
    keys[kKeyUp] = true;
    MovePaddles();
    EXPECT_NEAR(rightPaddle.MaxCorner().y, 2.3, 1e-12);
    EXPECT_NEAR(rightPaddle.MinCorner().y, 1.7, 1e-12);

    leftPaddle = Box(Vec2(-3.15, -2.3 + 0.001), 0.14, 0.6);
    keys[kKeyS] = true;
    MovePaddles();
    EXPECT_NEAR(leftPaddle.MinCorner().y, -2.3, 1e-12);
}

TEST_F(Paddles, BothKeysOfOneSideCancel) {
    keys[kKeyUp] = true;
    keys[kKeyDown] = true;
    MovePaddles();
    EXPECT_NEAR(rightPaddle.MinCorner().y, 0.0, 1e-15);
}

TEST_F(Paddles, OutsideTestsAreStrict) {
    EXPECT_FALSE(PaddleAboveCourt(Box(Vec2(0, 1.7), Vec2(0.14, 2.3)), court));
    EXPECT_TRUE(PaddleAboveCourt(Box(Vec2(0, 1.7), Vec2(0.14, 2.3001)), court));
    EXPECT_FALSE(PaddleBelowCourt(Box(Vec2(0, -2.3), Vec2(0.14, -1.7)), court));
    EXPECT_TRUE(PaddleBelowCourt(Box(Vec2(0, -2.3001), Vec2(0.14, -1.7)), court));
}

}  // namespace
