#include "render/scene.h"

#include "render/gl_api.h"
#include "render/textures.h"
#include "world/world_values.h"

namespace {

// Fixed rather than taken from the left paddle's height, so the exit hint
// keeps still while the left paddle moves during the splash.
constexpr double kExitHintX = 0.0;

struct Point {
    float x;
    float y;
};

void Vertex(double x, double y) { glVertex3f(static_cast<float>(x), static_cast<float>(y), 0.0f); }

// Bind, begin, opaque white, and the first texture coordinate.
void OpenPictureQuad(int slot) {
    glBindTexture(GL_TEXTURE_2D, textures[slot]);
    glBegin(GL_QUADS);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glTexCoord2f(0.0f, 0.0f);
}

// The four corners after texture coordinate (0, 0), laying the picture
// upright over the rectangle.
void Corners(double minX, double minY, double maxX, double maxY) {
    Vertex(minX, minY);
    glTexCoord2f(1.0f, 0.0f);
    Vertex(maxX, minY);
    glTexCoord2f(1.0f, 1.0f);
    Vertex(maxX, maxY);
    glTexCoord2f(0.0f, 1.0f);
    Vertex(minX, maxY);
}

void BoxCorners(const Box& box) {
    const Vec2 lo = box.MinCorner();
    const Vec2 hi = box.MaxCorner();
    Corners(lo.x, lo.y, hi.x, hi.y);
}

void HintSquare(int slot, double minX, double minY) {
    OpenPictureQuad(slot);
    Corners(minX, minY, minX + 0.8, minY + 0.8);
    glEnd();
}

// One quad of the fixed elements, its vertices in the order given.
void FixedQuad(Point a, Point b, Point c, Point d) {
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(a.x, a.y, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(b.x, b.y, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(c.x, c.y, 0.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(d.x, d.y, 0.0f);
}

void SetColor(const Color3& color) { glColor3f(color.r, color.g, color.b); }

}  // namespace

void BeginFrame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -6.0f);
}

void DrawSplash() {
    OpenPictureQuad(kTitleSlot);
    Corners(-1.7, -1.7, 1.7, 1.7);
    glEnd();
    HintSquare(kLeftKeysSlot, -3.2, leftPaddle.MinCorner().y);
    HintSquare(kRightKeysSlot, 2.4, rightPaddle.MinCorner().y);
    HintSquare(kExitHintSlot, kExitHintX, 1.6);
}

void DrawCourt() {
    OpenPictureQuad(kBallSlot);
    BoxCorners(ball);
    glEnd();

    // The ball's picture stays bound: the trail shows fading copies of it.
    for (int i = 0; i < kTrailLength; ++i) {
        glBegin(GL_QUADS);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f - 0.1f * static_cast<float>(i));
        glTexCoord2f(0.0f, 0.0f);
        BoxCorners(trail[i]);
        glEnd();
    }

    OpenPictureQuad(kPaddleSlot);
    BoxCorners(leftPaddle);
    glEnd();

    // Same picture and colour as the left paddle; the walls that follow take
    // the goal strips' resting light blue, set at the end.
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    BoxCorners(rightPaddle);
    glColor4f(goalRestColor.r, goalRestColor.g, goalRestColor.b, 1.0f);
    glEnd();

    const float p = leftBarLength - 3.2f;
    const float q = 3.2f - rightBarLength;
    glBindTexture(GL_TEXTURE_2D, textures[kWhiteSlot]);
    glBegin(GL_QUADS);
    FixedQuad({-3.2f, -2.35f}, {-3.2f, -2.3f}, {3.2f, -2.3f}, {3.2f, -2.35f});  // bottom wall
    FixedQuad({-3.2f, 2.35f}, {-3.2f, 2.3f}, {3.2f, 2.3f}, {3.2f, 2.35f});      // top wall
    SetColor(leftGoalColor);
    FixedQuad({-3.2f, 2.3f}, {-3.15f, 2.3f}, {-3.15f, -2.3f}, {-3.2f, -2.3f});
    SetColor(rightGoalColor);
    FixedQuad({3.2f, 2.3f}, {3.15f, 2.3f}, {3.15f, -2.3f}, {3.2f, -2.3f});
    glColor3f(0.0f, 0.337f, 0.655f);
    FixedQuad({-3.2f, 2.41f}, {-3.2f, 2.36f}, {p, 2.36f}, {p, 2.41f});  // left side's bar, top
    glColor3f(1.0f, 1.0f, 1.0f);
    FixedQuad({q, -2.41f}, {q, -2.36f}, {3.2f, -2.36f}, {3.2f, -2.41f});  // right side's bar, bottom
    glColor3f(1.0f, 1.0f, 1.0f);
    glEnd();
}
