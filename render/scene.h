#pragma once

// Clears the buffers and sets the view.
void BeginFrame();
// The title picture and the three hints; two ride along with the paddles.
void DrawSplash();
// Ball, fading trail, paddles, walls, goal strips and score bars.
void DrawCourt();
