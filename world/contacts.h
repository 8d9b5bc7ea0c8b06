#pragma once

#include "world/geometry.h"

// Each test asks whether the ball is moving towards the edge it tests, so a
// ball that has just been turned back is never caught twice by one edge.
bool ReachesRightEnd(Box court, Box ball, Velocity velocity);
bool ReachesLeftEnd(Box court, Box ball, Velocity velocity);
bool ReachesTopWall(Box court, Box ball, Velocity velocity);
bool ReachesBottomWall(Box court, Box ball, Velocity velocity);
bool HitsRightPaddle(Box paddle, Box ball, Velocity velocity);
bool HitsLeftPaddle(Box paddle, Box ball, Velocity velocity);

// Misses and scoring, wall bounces, paddle bounces and their sounds.
void HandleBallContacts();
