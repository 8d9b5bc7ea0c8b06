#pragma once

#include "world/geometry.h"

// Each writes the two key entries of its side, as a person would hold them:
// follow the ball while it comes towards this end, else drift back to the
// court's centre line with a dead band of 0.1.
void SteerLeftComputer(Box paddle, Box ball, bool (&keys)[256], Velocity velocity, Box court);
void SteerRightComputer(Box paddle, Box ball, bool (&keys)[256], Velocity velocity, Box court);
