#include "render/gl_api.h"
#include "render/scene_setup.h"

void ResizeScene(int width, int height) {
    if (height == 0) {
        height = 1;
    }
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    constexpr float kNearPlane = 0.1f;  // the single-precision value, widened
    gluPerspective(45.0, static_cast<double>(width) / static_cast<double>(height),
                   static_cast<double>(kNearPlane), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
