#include <gtest/gtest.h>

#include "tests/support/game_reset.h"
#include "world/computer_players.h"
#include "world/paddles.h"
#include "world/world_values.h"

namespace {

class ComputerPlayers : public ::testing::Test {
protected:
    void SetUp() override { ResetGame(); }
};

Box BallCentredAt(double yc) { return Box(Vec2(0.0, yc - 0.075), 0.15, 0.15); }

TEST_F(ComputerPlayers, LeftFollowsABallComingTowardsIt) {
    const Velocity leftwards(0.7, 180);
    SteerLeftComputer(leftPaddle, BallCentredAt(1.0), keys, leftwards, court);
    EXPECT_TRUE(keys[kKeyW]);
    EXPECT_FALSE(keys[kKeyS]);
    SteerLeftComputer(leftPaddle, BallCentredAt(-1.0), keys, leftwards, court);
    EXPECT_FALSE(keys[kKeyW]);
    EXPECT_TRUE(keys[kKeyS]);
    SteerLeftComputer(leftPaddle, leftPaddle, keys, leftwards, court);  // same centre: both off
    EXPECT_FALSE(keys[kKeyW] || keys[kKeyS]);
}

TEST_F(ComputerPlayers, RightReturnsToTheCentreWithADeadBand) {
    const Velocity leftwards(0.7, 180);
    keys[kKeyUp] = true;
    SteerRightComputer(rightPaddle, BallCentredAt(2.0), keys, leftwards, court);
    EXPECT_FALSE(keys[kKeyUp]);
    EXPECT_TRUE(keys[kKeyDown]);  // centre 0.3 is above 0.1
    SteerRightComputer(Box(Vec2(3.01, -0.2), Vec2(3.15, 0.4)), BallCentredAt(2.0), keys, leftwards, court);
    EXPECT_FALSE(keys[kKeyUp] || keys[kKeyDown]);  // centre 0.1: inside the band, bound included
    SteerRightComputer(Box(Vec2(3.01, -0.4), Vec2(3.15, 0.2)), BallCentredAt(2.0), keys, leftwards, court);
    EXPECT_FALSE(keys[kKeyUp] || keys[kKeyDown]);  // centre -0.1: the lower bound, included too
    SteerRightComputer(Box(Vec2(3.01, -0.9), Vec2(3.15, -0.3)), BallCentredAt(2.0), keys, leftwards, court);
    EXPECT_TRUE(keys[kKeyUp]);
}

TEST_F(ComputerPlayers, ZeroHorizontalSpeedSendsBothHome) {
    Velocity straightUp(0.7, 90);
    straightUp.SetCartesian(0.0, 0.7);
    const Box high = Box(Vec2(0, 1.5), 0.14, 0.6);
    SteerLeftComputer(high, BallCentredAt(2.0), keys, straightUp, court);
    SteerRightComputer(high, BallCentredAt(2.0), keys, straightUp, court);
    EXPECT_TRUE(keys[kKeyS]);
    EXPECT_TRUE(keys[kKeyDown]);
    EXPECT_FALSE(keys[kKeyW] || keys[kKeyUp]);
}

TEST_F(ComputerPlayers, WriteOnlyTheirOwnSidesKeys) {
    bool table[256] = {};
    table[kKeyUp] = true;
    table[kKeyEscape] = true;
    SteerLeftComputer(leftPaddle, BallCentredAt(1.0), table, Velocity(0.7, 180), court);
    EXPECT_TRUE(table[kKeyUp]);
    EXPECT_TRUE(table[kKeyEscape]);
    int set = 0;
    for (bool key : table) {
        set += key ? 1 : 0;
    }
    EXPECT_EQ(set, 3);
}

TEST_F(ComputerPlayers, LeftPaddleDriftsDownToTheBandWhileTheBallGoesRight) {
    leftComputer = true;
    int frames = 0;
    while (frames < 200) {
        SteerLeftComputer(leftPaddle, ball, keys, Velocity(0.7, 0), court);
        if (!keys[kKeyS]) {
            break;
        }
        MovePaddles();
        ++frames;
    }
    const double centre = (leftPaddle.MinCorner().y + leftPaddle.MaxCorner().y) * 0.5;
    EXPECT_LE(centre, 0.1);
    EXPECT_GT(centre, 0.1 - 0.0141);
    EXPECT_EQ(frames, 15);  // 0.2 at 0.014 a frame
}

}  // namespace
