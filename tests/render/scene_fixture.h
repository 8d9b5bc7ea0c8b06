#pragma once

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "tests/render/offscreen_gl.h"

// A scene rectangle.
struct Rect {
    double minX;
    double minY;
    double maxX;
    double maxY;
};

// A fresh world and a real GL context with the game's projection and scene
// set up, as the game window has them before its first frame.
class SceneTest : public ::testing::Test {
protected:
    void SetUp() override;
    // Picture ids whose loading fails in this test.
    virtual std::set<int> MissingPictures() const { return {}; }

    void DrawSplashFrame();
    void DrawCourtFrame();
    // The pixel of the last frame at scene point (x, y).
    Rgb AtScene(double x, double y) const { return gl.At(ColumnOf(x), RowOf(y)); }
    // The extreme solid texels of colour in the picture show in the last
    // frame where the picture drawn over rect puts them (or are all black).
    void ExpectPictureAt(int pictureId, Rgb colour, int radius, const Rect& rect) const {
        ExpectPicture(true, pictureId, colour, radius, rect);
    }
    void ExpectPictureGoneFrom(int pictureId, Rgb colour, int radius, const Rect& rect) const {
        ExpectPicture(false, pictureId, colour, radius, rect);
    }

    OffscreenGl gl;

private:
    void ExpectPicture(bool shown, int pictureId, Rgb colour, int radius, const Rect& rect) const;
};

// A texel of a picture whose whole neighbourhood (radius texels each way)
// has one colour: a sample there reads that colour exactly, however the
// picture is filtered on the way to the screen.
struct SolidTexel {
    int u = -1;  // column from the left
    int v = -1;  // row from the bottom
};

// The leftmost, rightmost, lowest and highest such texels of colour in
// picture id, found in the picture's own rows; empty when there is none.
std::vector<SolidTexel> ExtremeSolidTexels(int pictureId, Rgb colour, int radius);
// Where that texel's centre lands when the picture is drawn upright over rect.
double TexelX(int pictureId, const SolidTexel& texel, const Rect& rect);
double TexelY(int pictureId, const SolidTexel& texel, const Rect& rect);

inline constexpr Rgb kLightBlue{103, 196, 255};

// Colours within tol of each other in every channel.
::testing::AssertionResult ColourNear(const Rgb& actual, const Rgb& expected, int tol = 1);
