#pragma once

#include <atomic>
#include <cstdint>

#include "world/geometry.h"

struct Color3 {
    float r;
    float g;
    float b;
};

inline constexpr int kTrailLength = 10;
// Speeds are in court widths per this many seconds.
inline constexpr double kMotionDivisor = 1.6;
inline constexpr int kKeyCount = 256;

// Virtual-key codes of the keys the game reads.
inline constexpr int kKeyW = 0x57;
inline constexpr int kKeyS = 0x53;
inline constexpr int kKeyUp = 0x26;
inline constexpr int kKeyDown = 0x28;
inline constexpr int kKeyEscape = 0x1B;

inline constexpr Color3 goalRestColor{0.0f, 0.64f, 1.0f};
inline constexpr Color3 leftGoalFlashColor{1.0f, 1.0f, 1.0f};
inline constexpr Color3 rightGoalFlashColor{0.0f, 0.08f, 0.52f};

// The world as a freshly started process has it. world_values.cpp defines
// every value from these, and the tests put the world back to them.
namespace initial {
inline constexpr Box kCourt(Vec2(-3.15, -2.3), Vec2(3.15, 2.3));
inline constexpr double kBallSpeed = 0.7;
inline constexpr std::int32_t kBallAngle = 50;
inline constexpr Box kBall(Vec2(0.0, 0.0), 0.15, 0.15);
inline constexpr double kPaddleWidth = 0.14;
inline constexpr double kPaddleHeight = 0.6;
// The paddles stand flush with the ends of the court they are given.
constexpr Box LeftPaddle(const Box& court) {
    return Box(Vec2(court.MinCorner().x, 0.0), kPaddleWidth, kPaddleHeight);
}
constexpr Box RightPaddle(const Box& court) {
    return Box(Vec2(court.MaxCorner().x - kPaddleWidth, 0.0), kPaddleWidth, kPaddleHeight);
}
inline constexpr std::int32_t kScore = 0;
inline constexpr float kBarLength = 3.2f;
inline constexpr Color3 kGoalColor = goalRestColor;
inline constexpr bool kSplashActive = true;
inline constexpr bool kComputer = false;
inline constexpr std::int32_t kFramesSinceTrail = 0;
}  // namespace initial

extern Box court;
extern Velocity ballVelocity;
extern Box ball;
extern Box trail[kTrailLength];
extern Box leftPaddle;
extern Box rightPaddle;

extern std::int32_t leftScore;
extern std::int32_t rightScore;
extern float leftBarLength;
extern float rightBarLength;
extern Color3 leftGoalColor;
extern Color3 rightGoalColor;

// Cleared once by the second timer's thread.
extern std::atomic<bool> splashActive;
extern bool leftComputer;
extern bool rightComputer;
extern std::int32_t framesSinceTrail;

// Indexed by virtual-key code; written by the window procedure and the
// computer players, read by the main loop and the paddle control.
extern bool keys[kKeyCount];

// True when code is a valid index into keys: anything from outside the
// program (a key message) is checked with this first.
constexpr bool IsKeyIndex(std::uintptr_t code) { return code < static_cast<std::uintptr_t>(kKeyCount); }
