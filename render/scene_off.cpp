// Drawing switched off: for the headless match and the world-step benchmark,
// which run the frame step with no GL context.
#include "render/scene.h"

void BeginFrame() {}
void DrawSplash() {}
void DrawCourt() {}
