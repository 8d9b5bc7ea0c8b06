#include "tests/support/game_reset.h"

#include "platform/test/test_platform.h"
#include "timing/second_timer.h"
#include "world/frame_step.h"
#include "world/world_values.h"

void ResetGame() {
    testplatform::Reset();
    court = Box(Vec2(-3.15, -2.3), Vec2(3.15, 2.3));
    ballVelocity = Velocity(0.7, 50);
    ball = Box(Vec2(0.0, 0.0), 0.15, 0.15);
    for (Box& element : trail) {
        element = Box();
    }
    leftPaddle = Box(Vec2(court.MinCorner().x, 0.0), 0.14, 0.6);
    rightPaddle = Box(Vec2(court.MaxCorner().x - 0.14, 0.0), 0.14, 0.6);
    leftScore = 0;
    rightScore = 0;
    leftBarLength = 3.2f;
    rightBarLength = 3.2f;
    leftGoalColor = goalRestColor;
    rightGoalColor = goalRestColor;
    splashActive.store(true);
    leftComputer = false;
    rightComputer = false;
    framesSinceTrail = 0;
    for (bool& key : keys) {
        key = false;
    }
    framesThisSecond.store(0);
    framesPerSecond.store(90);
    trailInterval.store(14);
    secondsElapsed = 0;
    timerCaps = platform::TimerCaps();
    timerId = 0;
    timerStarted = false;
}
