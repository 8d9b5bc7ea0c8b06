#include "tests/render/scene_fixture.h"

#include <cstdlib>

#include "platform/embedded_bitmaps.h"
#include "platform/test/test_platform.h"
#include "render/scene.h"
#include "render/scene_setup.h"
#include "tests/support/game_reset.h"

void SceneTest::SetUp() {
    ResetGame();
    for (int id : MissingPictures()) {
        testplatform::Get().missingBitmaps.insert(id);
    }
    ASSERT_TRUE(gl.IsCurrent()) << gl.Problem();
    ResizeScene(OffscreenGl::kWidth, OffscreenGl::kHeight);
    ASSERT_TRUE(InitScene());
}

void SceneTest::DrawSplashFrame() {
    BeginFrame();
    DrawSplash();
    gl.ReadFrame();
}

void SceneTest::DrawCourtFrame() {
    BeginFrame();
    DrawCourt();
    gl.ReadFrame();
}

void SceneTest::ExpectPicture(bool shown, int pictureId, Rgb colour, int radius, const Rect& rect) const {
    const std::vector<SolidTexel> texels = ExtremeSolidTexels(pictureId, colour, radius);
    ASSERT_FALSE(texels.empty()) << "picture " << pictureId << " has no solid " << colour;
    for (const SolidTexel& t : texels) {
        const double x = TexelX(pictureId, t, rect);
        const double y = TexelY(pictureId, t, rect);
        const Rgb seen = AtScene(x, y);
        EXPECT_TRUE(shown ? ColourNear(seen, colour) : ::testing::AssertionResult(seen.IsBlack()))
            << "picture " << pictureId << " texel " << t.u << ", " << t.v << " at scene " << x << ", " << y;
    }
}

namespace {

struct Picture {
    platform::Bitmap bitmap;
    std::size_t stride = 0;

    explicit Picture(int id) {
        if (platform::LoadEmbeddedBitmap(id, &bitmap)) {
            stride = (static_cast<std::size_t>(bitmap.width) * 3 + 3) & ~std::size_t{3};
        }
    }
    Rgb At(int u, int v) const {
        const std::uint8_t* p = bitmap.bits + static_cast<std::size_t>(v) * stride + static_cast<std::size_t>(u) * 3;
        return Rgb{p[2], p[1], p[0]};
    }
};

}  // namespace

std::vector<SolidTexel> ExtremeSolidTexels(int pictureId, Rgb colour, int radius) {
    const Picture picture(pictureId);
    std::vector<SolidTexel> extremes;
    for (int v = radius; v < picture.bitmap.height - radius; ++v) {
        for (int u = radius; u < picture.bitmap.width - radius; ++u) {
            bool solid = true;
            for (int dv = -radius; dv <= radius && solid; ++dv) {
                for (int du = -radius; du <= radius && solid; ++du) {
                    solid = picture.At(u + du, v + dv) == colour;
                }
            }
            if (!solid) {
                continue;
            }
            if (extremes.empty()) {
                extremes.assign(4, SolidTexel{u, v});
            }
            if (u < extremes[0].u) extremes[0] = SolidTexel{u, v};
            if (u > extremes[1].u) extremes[1] = SolidTexel{u, v};
            if (v < extremes[2].v) extremes[2] = SolidTexel{u, v};
            if (v > extremes[3].v) extremes[3] = SolidTexel{u, v};
        }
    }
    return extremes;
}

double TexelX(int pictureId, const SolidTexel& texel, const Rect& rect) {
    const Picture picture(pictureId);
    return rect.minX + (texel.u + 0.5) / picture.bitmap.width * (rect.maxX - rect.minX);
}

double TexelY(int pictureId, const SolidTexel& texel, const Rect& rect) {
    const Picture picture(pictureId);
    return rect.minY + (texel.v + 0.5) / picture.bitmap.height * (rect.maxY - rect.minY);
}

::testing::AssertionResult ColourNear(const Rgb& actual, const Rgb& expected, int tol) {
    if (std::abs(actual.r - expected.r) <= tol && std::abs(actual.g - expected.g) <= tol &&
        std::abs(actual.b - expected.b) <= tol) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "colour " << actual << ", expected " << expected << " within "
                                         << tol;
}
