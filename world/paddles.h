#pragma once

#include "world/geometry.h"

bool PaddleAboveCourt(Box paddle, Box court);
bool PaddleBelowCourt(Box paddle, Box court);

// Moves each paddle one step per held key, then pushes any overshooting
// paddle back inside the court. Runs every frame, splash and play alike.
void MovePaddles();
