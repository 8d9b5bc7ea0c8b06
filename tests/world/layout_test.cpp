#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <thread>

#include "world/start_direction.h"
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

// The first second from now whose seed makes the two draws of unlike parity,
// so that swapping the two mirrors would show; now when none within ten does.
std::time_t SecondWithUnlikeDraws() {
    const std::time_t now = std::time(nullptr);
    for (std::time_t second = now; second < now + 10; ++second) {
        std::srand(static_cast<unsigned>(second));
        const int first = std::rand();
        if (first % 2 != std::rand() % 2) {
            return second;
        }
    }
    return now;
}

TEST(StartDirection, EachDrawMirrorsOneComponentInTurnAndTheSecondDecides) {
    const Velocity start(initial::kBallSpeed, initial::kBallAngle);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::time_t second = SecondWithUnlikeDraws();
        while (std::time(nullptr) < second) {
            std::this_thread::yield();
        }
        ballVelocity = start;
        ChooseStartDirection();
        const int nextDraw = std::rand();
        const Velocity chosen = ballVelocity;
        ballVelocity = start;
        ChooseStartDirection();  // a second start within the same second
        if (std::time(nullptr) != second) {
            continue;  // the clock moved on meanwhile: the draws are not known
        }
        std::srand(static_cast<unsigned>(second));
        const int horizontal = std::rand();
        const int vertical = std::rand();
        EXPECT_EQ(chosen.Dx(), horizontal % 2 == 0 ? -start.Dx() : start.Dx());
        EXPECT_EQ(chosen.Dy(), vertical % 2 == 0 ? -start.Dy() : start.Dy());
        EXPECT_NEAR(chosen.Speed(), start.Speed(), 1e-15);
        EXPECT_EQ(nextDraw, std::rand());  // two draws, no more
        EXPECT_EQ(ballVelocity.Dx(), chosen.Dx());
        EXPECT_EQ(ballVelocity.Dy(), chosen.Dy());
        return;
    }
    FAIL() << "the calendar second changed during each of three attempts";
}

}  // namespace
