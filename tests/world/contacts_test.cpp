#include <gtest/gtest.h>

#include "platform/test/test_platform.h"
#include "tests/support/game_reset.h"
#include "world/contacts.h"
#include "world/world_values.h"

namespace {

class Contacts : public ::testing::Test {
protected:
    void SetUp() override { ResetGame(); }

    // Puts the ball's lower-left corner at (x, y).
    static void PlaceBall(double x, double y) { ball = Box(Vec2(x, y), 0.15, 0.15); }
};

TEST_F(Contacts, EndTestsIncludeEqualityAndDemandMotionTowardsTheEnd) {
    const Velocity right(0.7, 0);
    const Velocity left(0.7, 180);
    EXPECT_TRUE(ReachesRightEnd(court, Box(Vec2(3.0, 0), Vec2(3.15, 0.15)), right));
    EXPECT_FALSE(ReachesRightEnd(court, Box(Vec2(3.0, 0), Vec2(3.1499, 0.15)), right));
    EXPECT_FALSE(ReachesRightEnd(court, Box(Vec2(3.2, 0), Vec2(3.35, 0.15)), left));
    EXPECT_TRUE(ReachesLeftEnd(court, Box(Vec2(-3.15, 0), Vec2(-3.0, 0.15)), left));
    EXPECT_FALSE(ReachesLeftEnd(court, Box(Vec2(-3.15, 0), Vec2(-3.0, 0.15)), right));
    const Velocity up(0.7, 90);
    const Velocity down(0.7, 270);
    EXPECT_TRUE(ReachesTopWall(court, Box(Vec2(0, 2.15), Vec2(0.15, 2.3)), up));
    EXPECT_FALSE(ReachesTopWall(court, Box(Vec2(0, 2.15), Vec2(0.15, 2.3)), down));
    EXPECT_TRUE(ReachesBottomWall(court, Box(Vec2(0, -2.3), Vec2(0.15, -2.15)), down));
    EXPECT_FALSE(ReachesBottomWall(court, Box(Vec2(0, -2.29), Vec2(0.15, -2.14)), down));
}

TEST_F(Contacts, PaddleTestsLookAtTheLeadingEdgeAndTheBallsCentre) {
    const Velocity right(0.7, 0);
    // centre exactly at the paddle's top edge counts
    EXPECT_TRUE(HitsRightPaddle(rightPaddle, Box(Vec2(2.9, 0.5), Vec2(3.05, 0.7)), right));
    EXPECT_FALSE(HitsRightPaddle(rightPaddle, Box(Vec2(2.9, 0.501), Vec2(3.05, 0.701)), right));
    EXPECT_FALSE(HitsRightPaddle(rightPaddle, Box(Vec2(2.8, 0.2), 0.15, 0.15), right));
    // already behind the face still counts
    EXPECT_TRUE(HitsRightPaddle(rightPaddle, Box(Vec2(3.1, 0.2), 0.15, 0.15), right));
    EXPECT_TRUE(HitsLeftPaddle(leftPaddle, Box(Vec2(-3.01, -0.075), 0.15, 0.15), Velocity(0.7, 180)));
    EXPECT_FALSE(HitsLeftPaddle(leftPaddle, Box(Vec2(-3.01, 0.2), 0.15, 0.15), right));
}

TEST_F(Contacts, MissAtTheRightEndScoresForTheLeftAndFlashesTheRightStrip) {
    ballVelocity.SetPolar(0.9, 0);
    PlaceBall(3.0, 1.5);
    HandleBallContacts();
    EXPECT_EQ(leftScore, 1);
    EXPECT_EQ(rightScore, 0);
    EXPECT_EQ(leftBarLength, 6.4f);
    EXPECT_EQ(rightBarLength, 0.0f);
    EXPECT_EQ(rightGoalColor.r, rightGoalFlashColor.r);
    EXPECT_EQ(rightGoalColor.g, rightGoalFlashColor.g);
    EXPECT_EQ(rightGoalColor.b, rightGoalFlashColor.b);
    EXPECT_GE(ballVelocity.angle, 135);
    EXPECT_LE(ballVelocity.angle, 224);
    EXPECT_DOUBLE_EQ(ballVelocity.Speed(), 0.9);
    EXPECT_EQ(ball.MinCorner().x, 3.0);  // a miss does not move the ball
    EXPECT_EQ(testplatform::LastSound(), "miss.wav");
    // moving away now: nothing more happens at that end
    HandleBallContacts();
    EXPECT_EQ(leftScore, 1);
}

TEST_F(Contacts, MissAtTheLeftEndTurnsTheBallRightwards) {
    leftScore = 1;
    ballVelocity.SetPolar(0.7, 180);
    PlaceBall(-3.2, 1.5);
    HandleBallContacts();
    EXPECT_EQ(rightScore, 1);
    EXPECT_EQ(leftBarLength, 3.2f);
    EXPECT_EQ(rightBarLength, 3.2f);
    EXPECT_EQ(leftGoalColor.r, 1.0f);
    EXPECT_GT(ballVelocity.Dx(), 0.0);
    const bool rightward = ballVelocity.angle >= 315 || ballVelocity.angle <= 44;
    EXPECT_TRUE(rightward) << ballVelocity.angle;
}

TEST_F(Contacts, WallBounceMirrorsTheVerticalComponent) {
    ballVelocity.SetPolar(0.7, 50);
    const double dx = ballVelocity.Dx();
    const double dy = ballVelocity.Dy();
    PlaceBall(0.0, 2.2);
    HandleBallContacts();
    EXPECT_EQ(ballVelocity.Dx(), dx);
    EXPECT_EQ(ballVelocity.Dy(), -dy);
    EXPECT_EQ(testplatform::LastSound(), "tbhit.wav");
    EXPECT_EQ(leftScore + rightScore, 0);
}

TEST_F(Contacts, ReachingTheEndLineInFrontOfThePaddleIsStillAMiss) {
    ballVelocity.SetPolar(0.7, 0);
    PlaceBall(3.0, 0.225);  // right edge on the end line, centre on the paddle's centre
    HandleBallContacts();
    EXPECT_EQ(leftScore, 1);
    EXPECT_DOUBLE_EQ(ballVelocity.Speed(), 0.7);  // no paddle bounce after it
    EXPECT_EQ(testplatform::Get().soundCount, 1u);
    EXPECT_EQ(testplatform::LastSound(), "miss.wav");
}

TEST_F(Contacts, TopWallAndRightEndTogetherIsAMissOnly) {
    ballVelocity.SetPolar(0.7, 45);
    PlaceBall(3.05, 2.2);
    HandleBallContacts();
    EXPECT_EQ(leftScore, 1);
    EXPECT_EQ(testplatform::Get().soundCount, 1u);
}

TEST_F(Contacts, CentredHitOnTheRightPaddleLeavesLevelAndFaster) {
    ballVelocity.SetPolar(0.7, 20);
    PlaceBall(2.9, 0.225);  // centre 0.3, the paddle's centre
    HandleBallContacts();
    EXPECT_EQ(ballVelocity.angle, 180);
    EXPECT_NEAR(ballVelocity.Speed(), 0.72, 1e-12);
    EXPECT_EQ(testplatform::LastSound(), "rlhit.wav");
}

TEST_F(Contacts, PaddleAngleDependsOnWhereTheBallMeetsIt) {
    // 0.1625 above the centre: 32.5 degrees truncated to 32
    ballVelocity.SetPolar(0.7, 180);
    PlaceBall(-3.05, 0.3 + 0.1625 - 0.075);
    HandleBallContacts();
    EXPECT_EQ(ballVelocity.angle, 32);

    ResetGame();
    ballVelocity.SetPolar(0.7, 0);
    PlaceBall(2.9, 0.3 + 0.1625 - 0.075);
    HandleBallContacts();
    EXPECT_EQ(ballVelocity.angle, 148);

    ResetGame();
    ballVelocity.SetPolar(0.7, 180);
    PlaceBall(-3.05, 0.3 - 0.1625 - 0.075);
    HandleBallContacts();
    EXPECT_EQ(ballVelocity.angle, 360 - 32);  // -32, raised into a whole turn

    ResetGame();
    ballVelocity.SetPolar(0.7, 180);
    ball = Box(Vec2(-3.05, 0.5), Vec2(-2.9, 0.7));  // centre on the top edge: the full 60 degrees
    HandleBallContacts();
    EXPECT_EQ(ballVelocity.angle, 60);
}

TEST_F(Contacts, WallBounceCanBeFollowedByAPaddleBounceInOneFrame) {
    rightPaddle = Box(Vec2(3.01, 1.7), 0.14, 0.6);
    ballVelocity.SetPolar(0.7, 30);
    PlaceBall(2.9, 2.16);
    HandleBallContacts();
    EXPECT_LT(ballVelocity.Dx(), 0.0);
    EXPECT_EQ(testplatform::Get().soundCount, 2u);
    EXPECT_EQ(testplatform::LastSound(), "rlhit.wav");
}

TEST_F(Contacts, ScoreBarsShareTheSpanInProportion) {
    leftScore = 2;
    rightScore = 0;
    ballVelocity.SetPolar(0.7, 180);
    PlaceBall(-3.3, 0.0);
    HandleBallContacts();
    EXPECT_NEAR(leftBarLength, 6.4f * 2 / 3, 1e-6);
    EXPECT_NEAR(rightBarLength, 6.4f / 3, 1e-6);
    EXPECT_NEAR(leftBarLength + rightBarLength, 6.4f, 1e-5);
}

}  // namespace
