#include "world/world_values.h"

#include "world/static_order.h"

// court, ball and trail are constant-initialised, so they exist before any
// dynamic initialisation runs; ballVelocity and the paddles follow in order.
constinit Box court(Vec2(-3.15, -2.3), Vec2(3.15, 2.3));
Velocity ballVelocity ZARVO_INIT_ORDER(kInitOrderWorld)(0.7, 50);
constinit Box ball(Vec2(0.0, 0.0), 0.15, 0.15);
constinit Box trail[kTrailLength]{};
Box leftPaddle ZARVO_INIT_ORDER(kInitOrderWorld)(Vec2(court.MinCorner().x, 0.0), 0.14, 0.6);
Box rightPaddle ZARVO_INIT_ORDER(kInitOrderWorld)(Vec2(court.MaxCorner().x - 0.14, 0.0), 0.14, 0.6);

std::int32_t leftScore = 0;
std::int32_t rightScore = 0;
float leftBarLength = 3.2f;
float rightBarLength = 3.2f;
Color3 leftGoalColor = goalRestColor;
Color3 rightGoalColor = goalRestColor;

constinit std::atomic<bool> splashActive{true};
bool leftComputer = false;
bool rightComputer = false;
std::int32_t framesSinceTrail = 0;

bool keys[kKeyCount] = {};
