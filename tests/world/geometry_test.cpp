#include <gtest/gtest.h>

#include <cmath>

#include "world/geometry.h"

namespace {

void ExpectBox(const Box& box, double minX, double minY, double maxX, double maxY, double w, double h) {
    EXPECT_DOUBLE_EQ(box.MinCorner().x, minX);
    EXPECT_DOUBLE_EQ(box.MinCorner().y, minY);
    EXPECT_DOUBLE_EQ(box.MaxCorner().x, maxX);
    EXPECT_DOUBLE_EQ(box.MaxCorner().y, maxY);
    EXPECT_DOUBLE_EQ(box.Width(), w);
    EXPECT_DOUBLE_EQ(box.Height(), h);
}

TEST(Box, DefaultHasCornersAtOriginButASizeOfFifteenHundredths) {
    ExpectBox(Box(), 0, 0, 0, 0, 0.15, 0.15);
}

TEST(Box, CornerAndSizeAgreesWithTwoCorners) {
    const Box fromCorners(Vec2(-3.15, -2.3), Vec2(3.15, 2.3));
    const Box fromSize(Vec2(-3.15, -2.3), 6.3, 4.6);
    ExpectBox(fromCorners, -3.15, -2.3, 3.15, 2.3, 6.3, 4.6);
    EXPECT_EQ(fromCorners.min.x, fromSize.min.x);
    EXPECT_EQ(fromCorners.max.x, fromSize.max.x);
    EXPECT_EQ(fromCorners.max.y, fromSize.max.y);
    EXPECT_EQ(fromCorners.width, fromSize.width);
    EXPECT_EQ(fromCorners.height, fromSize.height);
}

TEST(Box, MovesKeepTheSizeAndRepairADefaultBoxOneAxisAtATime) {
    Box box;
    box.MoveX(1.0);
    ExpectBox(box, 1.0, 0.0, 1.15, 0.0, 0.15, 0.15);
    box.MoveY(-0.5);
    ExpectBox(box, 1.0, -0.5, 1.15, -0.35, 0.15, 0.15);
}

TEST(Velocity, ConstructionDerivesTheCartesianForm) {
    const Velocity v(0.7, 50);
    EXPECT_NEAR(v.Dx(), 0.44995, 1e-5);
    EXPECT_NEAR(v.Dy(), 0.53623, 1e-5);
    EXPECT_EQ(v.Speed(), 0.7);
    EXPECT_EQ(v.pi, 3.141592653589);
    EXPECT_EQ(v.angle, 50);
}

TEST(Velocity, NegativeAnglesAreRaisedByWholeTurns) {
    struct Case {
        int in;
        int stored;
    };
    for (const Case c : {Case{-45, 315}, Case{-360, 0}, Case{-361, 359}, Case{-1, 359}, Case{-720, 0},
                         Case{400, 400}, Case{0, 0}}) {
        Velocity v(1.0, 0);
        v.SetPolar(0.5, c.in);
        EXPECT_EQ(v.angle, c.stored) << c.in;
    }
    Velocity a(1.0, 0);
    Velocity b(1.0, 0);
    a.SetPolar(0.9, -45);
    b.SetPolar(0.9, 315);
    EXPECT_NEAR(a.Dx(), b.Dx(), 1e-12);
    EXPECT_NEAR(a.Dy(), b.Dy(), 1e-12);
}

TEST(Velocity, MostNegativeAngleDoesNotOverflow) {
    Velocity v(1.0, 0);
    v.SetPolar(1.0, INT32_MIN);
    EXPECT_GE(v.angle, 0);
    EXPECT_LT(v.angle, 360);
}

TEST(Velocity, CartesianAnglesFollowTheQuadrantRules) {
    struct Case {
        double dx, dy;
        int angle;
    };
    for (const Case c : {Case{1, 1, 45}, Case{-1, 1, 135}, Case{-1, -1, 225}, Case{1, -1, 315},
                         Case{0, -2, -90}, Case{0, 2, 90}, Case{-1, 0, 180}, Case{1, 0, 0},
                         // just below +x: truncates to 0 and gains a whole turn
                         Case{1, -0.001, 360}}) {
        Velocity v(1.0, 0);
        v.SetCartesian(c.dx, c.dy);
        EXPECT_EQ(v.angle, c.angle) << c.dx << "," << c.dy;
        EXPECT_DOUBLE_EQ(v.Speed(), std::sqrt(c.dx * c.dx + c.dy * c.dy));
        EXPECT_EQ(v.Dx(), c.dx);
        EXPECT_EQ(v.Dy(), c.dy);
    }
}

TEST(Velocity, CartesianTruncatesTowardZero) {
    Velocity v(1.0, 0);
    const double r = 50.7 * 3.141592653589793 / 180.0;
    v.SetCartesian(std::cos(r), std::sin(r));
    EXPECT_EQ(v.angle, 50);
    const double s = -50.7 * 3.141592653589793 / 180.0;
    v.SetCartesian(-std::cos(s), std::sin(s));  // third quadrant: 180 + 50 = 230 after truncation
    EXPECT_EQ(v.angle, 230);
}

TEST(Velocity, ZeroVelocityPointsAlongX) {
    Velocity v(0.7, 50);
    v.SetCartesian(0.0, 0.0);
    EXPECT_EQ(v.angle, 0);
    EXPECT_EQ(v.Speed(), 0.0);
}

TEST(Velocity, MirroringKeepsTheSpeed) {
    Velocity v(0.7, 50);
    v.SetCartesian(-v.Dx(), v.Dy());
    EXPECT_NEAR(v.Speed(), 0.7, 1e-15);
    EXPECT_EQ(v.angle, 130);
    v.SetCartesian(v.Dx(), -v.Dy());
    EXPECT_NEAR(v.Speed(), 0.7, 1e-15);
    EXPECT_EQ(v.angle, 230);
}

TEST(Velocity, CopiesKeepEveryComponent) {
    const Velocity v(0.9, 230);
    Velocity assigned(0.1, 10);
    assigned = v;
    for (const Velocity& copy : {Velocity(v), assigned}) {
        EXPECT_EQ(copy.Dx(), v.Dx());
        EXPECT_EQ(copy.Dy(), v.Dy());
        EXPECT_EQ(copy.Speed(), v.Speed());
        EXPECT_EQ(copy.angle, v.angle);
    }
}

}  // namespace
