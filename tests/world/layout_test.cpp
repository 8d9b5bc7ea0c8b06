#include <gtest/gtest.h>

#include "world/world_values.h"

namespace {

// Runs before any test touches the world: this is the layout static
// initialisation built.
TEST(InitialLayout, IsTheLayoutOfAFreshProcess) {
    EXPECT_DOUBLE_EQ(court.Width(), 6.3);
    EXPECT_DOUBLE_EQ(court.Height(), 4.6);
    EXPECT_EQ(ball.MinCorner().x, 0.0);
    EXPECT_EQ(ball.MinCorner().y, 0.0);
    EXPECT_EQ(ball.MaxCorner().x, 0.15);
    EXPECT_EQ(ball.MaxCorner().y, 0.15);
    EXPECT_DOUBLE_EQ(leftPaddle.MinCorner().x, -3.15);
    EXPECT_DOUBLE_EQ(leftPaddle.MaxCorner().x, -3.01);
    EXPECT_DOUBLE_EQ(leftPaddle.MinCorner().y, 0.0);
    EXPECT_DOUBLE_EQ(leftPaddle.MaxCorner().y, 0.6);
    EXPECT_DOUBLE_EQ(rightPaddle.MinCorner().x, 3.01);
    EXPECT_DOUBLE_EQ(rightPaddle.MaxCorner().x, 3.15);
    EXPECT_DOUBLE_EQ(rightPaddle.MaxCorner().y, 0.6);
    for (const Box& element : trail) {
        EXPECT_EQ(element.MinCorner().x, 0.0);
        EXPECT_EQ(element.MaxCorner().y, 0.0);
        EXPECT_EQ(element.Width(), 0.15);
    }
    EXPECT_NEAR(ballVelocity.Dx(), 0.44995, 1e-5);
    EXPECT_NEAR(ballVelocity.Dy(), 0.53623, 1e-5);
    EXPECT_EQ(leftBarLength, 3.2f);
    EXPECT_EQ(rightBarLength, 3.2f);
    EXPECT_EQ(leftGoalColor.g, 0.64f);
    EXPECT_EQ(rightGoalColor.b, 1.0f);
    EXPECT_EQ(leftScore + rightScore, 0);
    EXPECT_TRUE(splashActive.load());
    EXPECT_FALSE(leftComputer || rightComputer);
}

}  // namespace
