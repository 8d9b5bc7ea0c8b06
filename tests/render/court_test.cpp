#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "render/gl_api.h"
#include "tests/render/scene_fixture.h"
#include "world/world_values.h"

namespace {

constexpr Rgb kWallBlue{0, 163, 255};      // (0, 0.64, 1)
constexpr Rgb kLeftBarBlue{0, 86, 167};    // (0, 0.337, 0.655)
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kRightFlashBlue{0, 20, 133};  // (0, 0.08, 0.52)

constexpr Rect kBottomWall{-3.2, -2.35, 3.2, -2.3};
constexpr Rect kTopWall{-3.2, 2.3, 3.2, 2.35};
constexpr Rect kLeftStrip{-3.2, -2.3, -3.15, 2.3};
constexpr Rect kRightStrip{3.15, -2.3, 3.2, 2.3};

constexpr double kSkip = std::numeric_limits<double>::quiet_NaN();

// The pixel whose centre lies at least a quarter pixel past screen edge s,
// and the last one whose centre lies at least a quarter pixel before it.
int FirstPixelPast(double s) { return static_cast<int>(std::ceil(s - 0.25)); }
int LastPixelBefore(double s) { return static_cast<int>(std::floor(s - 0.75)); }

Rect BoxRect(const Box& box) { return Rect{box.min.x, box.min.y, box.max.x, box.max.y}; }

class CourtTest : public SceneTest {
protected:
    // rect shows colour right up to each edge, and black right beyond it:
    // the left and right edges looked at along y = alongY, the bottom and top
    // edges along x = alongX (kSkip leaves those edges out).
    void ExpectFilledRect(const Rect& r, Rgb colour, double alongX, double alongY) const {
        if (!std::isnan(alongY)) {
            const int row = RowOf(alongY);
            const double left = ScreenX(r.minX);
            const double right = ScreenX(r.maxX);
            EXPECT_TRUE(ColourNear(gl.At(FirstPixelPast(left), row), colour)) << "inside left edge x " << r.minX;
            EXPECT_TRUE(gl.At(LastPixelBefore(left), row).IsBlack()) << "outside left edge x " << r.minX;
            EXPECT_TRUE(ColourNear(gl.At(LastPixelBefore(right), row), colour)) << "inside right edge x " << r.maxX;
            EXPECT_TRUE(gl.At(FirstPixelPast(right), row).IsBlack()) << "outside right edge x " << r.maxX;
        }
        if (!std::isnan(alongX)) {
            const int column = ColumnOf(alongX);
            const double bottom = ScreenY(r.minY);
            const double top = ScreenY(r.maxY);
            EXPECT_TRUE(ColourNear(gl.At(column, FirstPixelPast(bottom)), colour)) << "inside bottom edge y " << r.minY;
            EXPECT_TRUE(gl.At(column, LastPixelBefore(bottom)).IsBlack()) << "outside bottom edge y " << r.minY;
            EXPECT_TRUE(ColourNear(gl.At(column, LastPixelBefore(top)), colour)) << "inside top edge y " << r.maxY;
            EXPECT_TRUE(gl.At(column, FirstPixelPast(top)).IsBlack()) << "outside top edge y " << r.maxY;
        }
    }

    // Every lit pixel near box lies on the box's pixels, and the lit part
    // covers at least fraction of the box each way.
    void ExpectLitOnlyOver(const Box& box, double fraction) const {
        const Rect r = BoxRect(box);
        const int left = ColumnOf(r.minX);
        const int right = ColumnOf(r.maxX);
        const int bottom = RowOf(r.minY);
        const int top = RowOf(r.maxY);
        int minCol = right + 100;
        int maxCol = left - 100;
        int minRow = top + 100;
        int maxRow = bottom - 100;
        for (int row = bottom - 20; row <= top + 20; ++row) {
            for (int col = left - 20; col <= right + 20; ++col) {
                if (!gl.At(col, row).IsBlack()) {
                    minCol = std::min(minCol, col);
                    maxCol = std::max(maxCol, col);
                    minRow = std::min(minRow, row);
                    maxRow = std::max(maxRow, row);
                }
            }
        }
        EXPECT_GE(minCol, left);
        EXPECT_LE(maxCol, right);
        EXPECT_GE(minRow, bottom);
        EXPECT_LE(maxRow, top);
        EXPECT_GE(maxCol - minCol + 1, fraction * (ScreenX(r.maxX) - ScreenX(r.minX)));
        EXPECT_GE(maxRow - minRow + 1, fraction * (ScreenY(r.maxY) - ScreenY(r.minY)));
    }

    // The summed channels of the pixels over box, one pixel of margin.
    long BrightnessOver(const Box& box) const {
        long sum = 0;
        for (int row = RowOf(box.min.y) - 1; row <= RowOf(box.max.y) + 1; ++row) {
            for (int col = ColumnOf(box.min.x) - 1; col <= ColumnOf(box.max.x) + 1; ++col) {
                sum += gl.At(col, row).Sum();
            }
        }
        return sum;
    }
};

TEST_F(CourtTest, WallsStripsAndBarsLieWhereTheViewPutsThemInTheirColours) {
    // Whatever colour the previous frame left current, the court's own hold.
    glColor4f(1.0f, 0.0f, 0.0f, 0.25f);
    DrawCourtFrame();
    ExpectFilledRect(kBottomWall, kWallBlue, 1.5, -2.325);
    ExpectFilledRect(kTopWall, kWallBlue, -1.5, 2.325);
    // The strips meet the walls at their ends: only their sides are edges.
    ExpectFilledRect(kLeftStrip, kWallBlue, kSkip, -1.2);
    ExpectFilledRect(kRightStrip, kWallBlue, kSkip, -1.2);
    // Before the first point each bar shows half the span.
    ExpectFilledRect(Rect{-3.2, 2.36, 0.0, 2.41}, kLeftBarBlue, -1.6, 2.385);
    ExpectFilledRect(Rect{0.0, -2.41, 3.2, -2.36}, kWhite, 1.6, -2.385);
}

TEST_F(CourtTest, AfterOnlyLeftPointsTheTopBarSpansTheWidthAndTheBottomOneIsGone) {
    leftBarLength = 6.4f;
    rightBarLength = 0.0f;
    DrawCourtFrame();
    ExpectFilledRect(Rect{-3.2, 2.36, 3.2, 2.41}, kLeftBarBlue, 2.9, 2.385);
    for (double x = -3.3; x <= 3.3; x += 0.1) {
        EXPECT_TRUE(AtScene(x, -2.385).IsBlack()) << x;
    }
}

TEST_F(CourtTest, FlashedGoalStripsShowTheirFlashColours) {
    leftGoalColor = leftGoalFlashColor;
    rightGoalColor = rightGoalFlashColor;
    DrawCourtFrame();
    ExpectFilledRect(kLeftStrip, kWhite, kSkip, -1.2);
    ExpectFilledRect(kRightStrip, kRightFlashBlue, kSkip, 1.7);
    // Along their whole height, up to the walls, which keep their own colour.
    const int topRowOfStrip = LastPixelBefore(ScreenY(2.3));
    EXPECT_TRUE(ColourNear(gl.At(ColumnOf(-3.175), topRowOfStrip), kWhite));
    EXPECT_TRUE(ColourNear(gl.At(ColumnOf(-3.175), FirstPixelPast(ScreenY(2.3))), kWallBlue));
    EXPECT_TRUE(ColourNear(gl.At(ColumnOf(3.175), FirstPixelPast(ScreenY(-2.3))), kRightFlashBlue));
    EXPECT_TRUE(ColourNear(gl.At(ColumnOf(3.175), LastPixelBefore(ScreenY(-2.3))), kWallBlue));
}

TEST_F(CourtTest, BallTrailAndPaddlesShowOverTheirBoxesOnly) {
    ball = Box(Vec2(1.0, -1.0), 0.15, 0.15);
    trail[0] = Box(Vec2(-1.5, 1.0), 0.15, 0.15);
    trail[4] = Box(Vec2(2.0, 1.5), 0.15, 0.15);
    leftPaddle.MoveY(-1.3);
    DrawCourtFrame();
    ExpectLitOnlyOver(ball, 0.6);
    ExpectLitOnlyOver(trail[0], 0.6);
    ExpectLitOnlyOver(trail[4], 0.6);
    // Trail boxes never filled have both corners at the origin: nothing shows.
    for (double d : {-0.05, 0.0, 0.05}) {
        EXPECT_TRUE(AtScene(d, d).IsBlack()) << d;
    }
    // Both paddles show the same picture at full strength.
    const Rgb left = AtScene(-3.08, -1.0);
    const Rgb right = AtScene(3.08, 0.3);
    EXPECT_FALSE(left.IsBlack());
    EXPECT_TRUE(ColourNear(left, right, 2));
    for (const Box* paddle : {&leftPaddle, &rightPaddle}) {
        const double x = (paddle->min.x + paddle->max.x) / 2;
        EXPECT_FALSE(AtScene(x, paddle->min.y + 0.05).IsBlack());
        EXPECT_FALSE(AtScene(x, paddle->max.y - 0.05).IsBlack());
        EXPECT_TRUE(AtScene(x, paddle->min.y - 0.02).IsBlack());
        EXPECT_TRUE(AtScene(x, paddle->max.y + 0.02).IsBlack());
    }
}

TEST_F(CourtTest, TrailCopiesFadeByATenthAStep) {
    ball = Box(Vec2(-2.6, -1.0), 0.15, 0.15);
    for (int i = 0; i < kTrailLength; ++i) {
        trail[i] = Box(Vec2(-2.6 + 0.47 * (i + 1), -1.0), 0.15, 0.15);
    }
    DrawCourtFrame();
    const double full = static_cast<double>(BrightnessOver(ball));
    ASSERT_GT(full, 0.0);
    for (int i = 0; i < kTrailLength; ++i) {
        EXPECT_NEAR(BrightnessOver(trail[i]) / full, 1.0 - 0.1 * i, 0.03) << "trail " << i;
    }
}

TEST_F(CourtTest, OverlapsAddUp) {
    const Box ballBox(Vec2(0.5, 0.5), 0.15, 0.15);
    const Box trailBox(Vec2(0.56, 0.52), 0.15, 0.15);
    const double x = 0.61;
    const double y = 0.6;

    ball = ballBox;
    DrawCourtFrame();
    const Rgb ballOnly = AtScene(x, y);

    ball = Box(Vec2(-2.0, -1.5), 0.15, 0.15);
    trail[1] = trailBox;
    DrawCourtFrame();
    const Rgb trailOnly = AtScene(x, y);

    ball = ballBox;
    DrawCourtFrame();
    const Rgb both = AtScene(x, y);

    EXPECT_GT(ballOnly.Sum(), 0);
    EXPECT_GT(trailOnly.Sum(), 0);
    EXPECT_GT(both.Sum(), ballOnly.Sum());
    EXPECT_GT(both.Sum(), trailOnly.Sum());
    const Rgb added{std::min(255, ballOnly.r + trailOnly.r), std::min(255, ballOnly.g + trailOnly.g),
                    std::min(255, ballOnly.b + trailOnly.b)};
    EXPECT_TRUE(ColourNear(both, added, 2));
}

}  // namespace
