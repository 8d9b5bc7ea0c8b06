#pragma once

// Viewport and perspective projection for a client area of this size; a
// height of 0 is taken as 1.
void ResizeScene(int width, int height);

// Random start direction, textures and the fixed render state. Needs the GL
// context current. Returns true: a missing picture is not a failure.
bool InitScene();
