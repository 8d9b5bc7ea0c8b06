#pragma once

// The fixed state every frame draws under: textures tinted by the current
// colour and added onto the frame (black adds nothing), no depth test.
void SetRenderState();
