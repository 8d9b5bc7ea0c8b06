#include <cmath>

#include "render/gl_api.h"
#include "render/scene_setup.h"

namespace {

constexpr double kFieldOfViewDegrees = 45.0;
// The view is framed for this shape: at 45 degrees it holds the whole court
// with its walls, paddles and bars. A wider window shows more around it.
constexpr double kFramedAspect = 4.0 / 3.0;

// The vertical field of view for this aspect. A window narrower than the
// framed shape would cut the court's sides off, so there the view widens
// until the framed width fits, leaving bands above and below the court.
double FieldOfViewDegrees(double aspect) {
    if (aspect <= 0.0 || aspect >= kFramedAspect) {
        return kFieldOfViewDegrees;
    }
    const double radiansPerDegree = std::acos(-1.0) / 180.0;
    const double halfTangent = std::tan(kFieldOfViewDegrees / 2.0 * radiansPerDegree) * kFramedAspect / aspect;
    return 2.0 * std::atan(halfTangent) / radiansPerDegree;
}

}  // namespace

void ResizeScene(int width, int height) {
    if (height == 0) {
        height = 1;
    }
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    constexpr float kNearPlane = 0.1f;  // the single-precision value, widened
    const double aspect = static_cast<double>(width) / static_cast<double>(height);
    gluPerspective(FieldOfViewDegrees(aspect), aspect, static_cast<double>(kNearPlane), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
