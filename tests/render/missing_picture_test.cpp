#include <gtest/gtest.h>

#include "platform/test/test_platform.h"
#include "render/gl_api.h"
#include "render/textures.h"
#include "tests/render/scene_fixture.h"
#include "world/world_values.h"

namespace {

constexpr Rgb kWhite{255, 255, 255};

GLint LevelZeroWidth(int slot) {
    glBindTexture(GL_TEXTURE_2D, textures[slot]);
    GLint width = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    return width;
}

class MissingPaddlePicture : public SceneTest {
protected:
    std::set<int> MissingPictures() const override { return {IDB_PADDLE}; }
};

TEST_F(MissingPaddlePicture, PaddlesShowUntexturedInTheCurrentColourAndTheRestDrawsAsUsual) {
    EXPECT_TRUE(testplatform::Get().messageBoxes.empty());
    EXPECT_EQ(LevelZeroWidth(kPaddleSlot), 0);
    for (int slot : {kWhiteSlot, kBallSlot, kTitleSlot, kExitHintSlot, kLeftKeysSlot, kRightKeysSlot}) {
        EXPECT_GT(LevelZeroWidth(slot), 0) << "slot " << slot;
    }

    ball = Box(Vec2(1.0, -1.0), 0.15, 0.15);
    DrawCourtFrame();
    // The picture's black corners would leave these dark; untextured, the
    // whole quad is the opaque white set for it.
    for (const Box* paddle : {&leftPaddle, &rightPaddle}) {
        const Vec2 lo = paddle->MinCorner();
        const Vec2 hi = paddle->MaxCorner();
        EXPECT_EQ(AtScene(lo.x + 0.01, lo.y + 0.01), kWhite);
        EXPECT_EQ(AtScene(hi.x - 0.01, hi.y - 0.01), kWhite);
        EXPECT_EQ(AtScene((lo.x + hi.x) / 2, (lo.y + hi.y) / 2), kWhite);
    }
    const Rgb ballCentre = AtScene(1.075, -0.925);
    EXPECT_FALSE(ballCentre.IsBlack());
    EXPECT_NE(ballCentre, kWhite);
    EXPECT_TRUE(ColourNear(AtScene(1.5, -2.325), Rgb{0, 163, 255}));
}

class MissingTitlePicture : public SceneTest {
protected:
    std::set<int> MissingPictures() const override { return {IDB_TITLE}; }
};

TEST_F(MissingTitlePicture, TitleSquareShowsWhiteAndTheHintsStillShow) {
    DrawSplashFrame();
    for (double x : {-1.65, 0.0, 1.65}) {
        for (double y : {-1.65, 0.0, 1.55}) {
            EXPECT_EQ(AtScene(x, y), kWhite) << x << ", " << y;
        }
    }
    EXPECT_TRUE(AtScene(-1.75, 0.0).IsBlack());
    ExpectPictureAt(IDB_LEFT_KEYS, kLightBlue, 1, Rect{-3.2, 0.0, -2.4, 0.8});
    ExpectPictureAt(IDB_RIGHT_KEYS, kLightBlue, 1, Rect{2.4, 0.0, 3.2, 0.8});
}

}  // namespace
