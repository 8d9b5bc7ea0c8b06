#include <gtest/gtest.h>

#include "resources/resource_ids.h"
#include "tests/render/scene_fixture.h"
#include "world/world_values.h"

namespace {

constexpr int kTitle = IDB_TITLE;
constexpr int kExitHint = IDB_EXIT_HINT;
constexpr int kLeftKeys = IDB_LEFT_KEYS;
constexpr int kRightKeys = IDB_RIGHT_KEYS;

constexpr Rect kTitleSquare{-1.7, -1.7, 1.7, 1.7};
constexpr Rect kExitHintSquare{0.0, 1.6, 0.8, 2.4};

Rect LeftHintSquare() { return Rect{-3.2, leftPaddle.MinCorner().y, -2.4, leftPaddle.MinCorner().y + 0.8}; }
Rect RightHintSquare() { return Rect{2.4, rightPaddle.MinCorner().y, 3.2, rightPaddle.MinCorner().y + 0.8}; }

TEST_F(SceneTest, SplashShowsTheTitleUprightInTheCentreSquare) {
    DrawSplashFrame();
    // The letters of the name, at full coverage, in their light blue.
    ExpectPictureAt(kTitle, kLightBlue, 2, kTitleSquare);
    // Nothing of the court: no walls, bars or paddles.
    for (double x : {-2.8, -2.0, 2.0, 2.8}) {
        EXPECT_TRUE(AtScene(x, 2.325).IsBlack()) << x;
        EXPECT_TRUE(AtScene(x, -2.325).IsBlack()) << x;
        EXPECT_TRUE(AtScene(x, 2.385).IsBlack()) << x;
        EXPECT_TRUE(AtScene(x, -2.385).IsBlack()) << x;
    }
    EXPECT_TRUE(AtScene(-3.175, -1.0).IsBlack());
    EXPECT_TRUE(AtScene(3.08, -1.0).IsBlack());
}

TEST_F(SceneTest, SplashHintsStandAtTheCourtEndsOnThePaddlesAndTopCentre) {
    DrawSplashFrame();
    ExpectPictureAt(kLeftKeys, kLightBlue, 1, LeftHintSquare());
    ExpectPictureAt(kRightKeys, kLightBlue, 1, RightHintSquare());
    ExpectPictureAt(kExitHint, kLightBlue, 1, kExitHintSquare);
}

TEST_F(SceneTest, KeyHintsRideWithThePaddlesWhileTheExitHintKeepsStill) {
    const Rect leftBefore = LeftHintSquare();
    const Rect rightBefore = RightHintSquare();
    leftPaddle.MoveY(1.0);
    rightPaddle.MoveY(-1.5);
    DrawSplashFrame();
    ExpectPictureAt(kLeftKeys, kLightBlue, 1, LeftHintSquare());
    ExpectPictureAt(kRightKeys, kLightBlue, 1, RightHintSquare());
    ExpectPictureGoneFrom(kLeftKeys, kLightBlue, 1, leftBefore);
    ExpectPictureGoneFrom(kRightKeys, kLightBlue, 1, rightBefore);
    ExpectPictureAt(kExitHint, kLightBlue, 1, kExitHintSquare);

    leftPaddle.MoveY(-2.0);
    DrawSplashFrame();
    ExpectPictureAt(kLeftKeys, kLightBlue, 1, LeftHintSquare());
    ExpectPictureAt(kExitHint, kLightBlue, 1, kExitHintSquare);
}

}  // namespace
