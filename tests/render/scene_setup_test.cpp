#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/test/test_platform.h"
#include "render/gl_api.h"
#include "render/scene.h"
#include "render/scene_setup.h"
#include "render/textures.h"
#include "tests/render/scene_fixture.h"

namespace {

GLint GlInteger(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

// Where the current view puts scene point (x, y, 0) in the viewport.
std::pair<double, double> Projected(double x, double y) {
    GLdouble model[16];
    GLdouble projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLdouble wx = 0;
    GLdouble wy = 0;
    GLdouble wz = 0;
    EXPECT_EQ(gluProject(x, y, 0.0, model, projection, viewport, &wx, &wy, &wz), GL_TRUE);
    return {wx, wy};
}

TEST_F(SceneTest, ViewShowsTheScenePlaneSixUnitsAwayAt45DegreesAnd4To3) {
    BeginFrame();
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{0, 0, 1152, 864}));

    const std::pair<double, double> points[] = {{0.0, 0.0}, {-3.2, -2.41}, {3.2, 2.41}, {1.7, -1.7}, {-2.4, 0.8}};
    for (const auto& [x, y] : points) {
        const auto [wx, wy] = Projected(x, y);
        EXPECT_NEAR(wx, ScreenX(x), 1e-3) << x << ", " << y;
        EXPECT_NEAR(wy, ScreenY(y), 1e-3) << x << ", " << y;
    }
    // The outermost elements lie just inside the frame.
    EXPECT_GT(ScreenX(-3.2), 15.0);
    EXPECT_LT(ScreenY(2.41), 864.0 - 10.0);
}

TEST_F(SceneTest, ResizeTakesHeightZeroAsOneAndLeavesTheModelviewCurrent) {
    ResizeScene(640, 0);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 640);
    EXPECT_EQ(viewport[3], 1);
    GLdouble projection[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    const double f = 1.0 / std::tan(22.5 * 3.14159265358979323846 / 180.0);
    EXPECT_NEAR(projection[5], f, 1e-6);
    EXPECT_NEAR(projection[0], f / 640.0, 1e-9);
    EXPECT_EQ(GlInteger(GL_MATRIX_MODE), GL_MODELVIEW);
}

// Narrower than 4:3 the view widens until the court's full width fits; 4:3
// and wider keep the 45 degree view.
TEST_F(SceneTest, EveryWindowShapeShowsTheCourtsWholeWidth) {
    const std::pair<int, int> sizes[] = {{700, 900}, {1280, 1024}, {1280, 1003}, {300, 1200}, {1152, 864}};
    for (const auto& [width, height] : sizes) {
        ResizeScene(width, height);
        BeginFrame();
        for (const double x : {-3.2, 3.2}) {
            const auto [wx, wy] = Projected(x, 2.41);
            // The same share of the width as in the 1152 by 864 window.
            EXPECT_NEAR(wx / width, ScreenX(x) / OffscreenGl::kWidth, 1e-6) << width << "x" << height;
            EXPECT_GT(wy, 0.0) << width << "x" << height;
            EXPECT_LT(wy, height) << width << "x" << height;
        }
    }
    const double f = 1.0 / std::tan(22.5 * 3.14159265358979323846 / 180.0);
    for (const auto& [width, height] : {std::pair{1152, 864}, std::pair{1920, 1080}, std::pair{1280, 720}}) {
        ResizeScene(width, height);
        GLdouble projection[16];
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        EXPECT_NEAR(projection[5], f, 1e-6) << width << "x" << height;
    }
}

TEST_F(SceneTest, RenderStateAddsTintedTexelsWithoutDepthTest) {
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_EQ(GlInteger(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(GlInteger(GL_BLEND_DST), GL_ONE);
    EXPECT_EQ(GlInteger(GL_SHADE_MODEL), GL_SMOOTH);
    EXPECT_EQ(GlInteger(GL_DEPTH_FUNC), GL_LEQUAL);
    EXPECT_EQ(GlInteger(GL_PERSPECTIVE_CORRECTION_HINT), GL_NICEST);
    GLint value = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &value);
    EXPECT_EQ(value, GL_MODULATE);
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_FLOAT_EQ(clear[0], 0.0f);
    EXPECT_FLOAT_EQ(clear[1], 0.0f);
    EXPECT_FLOAT_EQ(clear[2], 0.0f);
    EXPECT_FLOAT_EQ(clear[3], 0.5f);
    GLdouble depth = 0;
    glGetDoublev(GL_DEPTH_CLEAR_VALUE, &depth);
    EXPECT_EQ(depth, 1.0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(SceneTest, APictureWhoseRowsArePaddedLoadsRowByRow) {
    // Two pixels a row are 6 bytes, padded to 8 as a bitmap's rows are.
    constexpr int kWidth = 2;
    constexpr int kHeight = 4;
    constexpr int kRowBytes = 8;
    std::uint8_t rows[kRowBytes * kHeight];
    std::vector<std::uint8_t> texels;  // the same pixels without the padding
    for (int row = 0; row < kHeight; ++row) {
        for (int i = 0; i < kRowBytes; ++i) {
            const bool padding = i >= 3 * kWidth;
            rows[row * kRowBytes + i] = padding ? 0xEE : static_cast<std::uint8_t>(40 * row + 10 * i);
            if (!padding) {
                texels.push_back(rows[row * kRowBytes + i]);
            }
        }
    }
    testplatform::Get().replacedBitmaps[kTextureIds[kBallSlot]] = platform::Bitmap{kWidth, kHeight, rows};
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);  // whatever was set before, the loader sets its own
    LoadTextures();

    std::vector<std::uint8_t> loaded(texels.size());
    glBindTexture(GL_TEXTURE_2D, textures[kBallSlot]);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_BGR_EXT, GL_UNSIGNED_BYTE, loaded.data());
    EXPECT_EQ(loaded, texels);
}

bool IsPowerOfTwo(GLint n) { return n > 0 && (n & (n - 1)) == 0; }

TEST_F(SceneTest, EverySlotHoldsItsPictureAsACompleteLinearlyFilteredMipmapChain) {
    // Level-0 sizes by slot; 0 where GLU picks the power-of-two size itself.
    const std::pair<GLint, GLint> sizes[kTextureCount] = {{64, 64},   {32, 32},   {0, 0},    {512, 512},
                                                          {128, 128}, {128, 128}, {128, 128}};
    for (int slot = 0; slot < kTextureCount; ++slot) {
        SCOPED_TRACE("slot " + std::to_string(slot));
        ASSERT_TRUE(glIsTexture(textures[slot]));
        glBindTexture(GL_TEXTURE_2D, textures[slot]);
        GLint filter = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
        EXPECT_EQ(filter, GL_LINEAR);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
        EXPECT_EQ(filter, GL_LINEAR_MIPMAP_LINEAR);

        GLint width = 0;
        GLint height = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
        ASSERT_TRUE(IsPowerOfTwo(width) && IsPowerOfTwo(height)) << width << " x " << height;
        if (sizes[slot].first != 0) {
            EXPECT_EQ(width, sizes[slot].first);
            EXPECT_EQ(height, sizes[slot].second);
        } else {
            EXPECT_LT(width, height);  // the upright paddle stays upright
        }
        int level = 0;
        for (GLint w = width, h = height;; w = std::max(1, w / 2), h = std::max(1, h / 2)) {
            GLint levelWidth = 0;
            GLint levelHeight = 0;
            glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &levelWidth);
            glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &levelHeight);
            EXPECT_EQ(levelWidth, w) << "level " << level;
            EXPECT_EQ(levelHeight, h) << "level " << level;
            if (w == 1 && h == 1) {
                break;
            }
            ++level;
        }
    }
}

}  // namespace
