#include "world/world_values.h"

#include "world/static_order.h"

// court, ball and trail are constant-initialised, so they exist before any
// dynamic initialisation runs; ballVelocity and the paddles follow in order.
constinit Box court(initial::kCourt);
Velocity ballVelocity ZARVO_INIT_ORDER(kInitOrderWorld)(initial::kBallSpeed, initial::kBallAngle);
constinit Box ball(initial::kBall);
constinit Box trail[kTrailLength]{};
Box leftPaddle ZARVO_INIT_ORDER(kInitOrderWorld)(initial::LeftPaddle(court));
Box rightPaddle ZARVO_INIT_ORDER(kInitOrderWorld)(initial::RightPaddle(court));

std::int32_t leftScore = initial::kScore;
std::int32_t rightScore = initial::kScore;
float leftBarLength = initial::kBarLength;
float rightBarLength = initial::kBarLength;
Color3 leftGoalColor = initial::kGoalColor;
Color3 rightGoalColor = initial::kGoalColor;

constinit std::atomic<bool> splashActive{initial::kSplashActive};
bool leftComputer = initial::kComputer;
bool rightComputer = initial::kComputer;
std::int32_t framesSinceTrail = initial::kFramesSinceTrail;

bool keys[kKeyCount] = {};
