#include "tests/support/game_reset.h"

#include <algorithm>

#include "app/game_main.h"
#include "app/game_window.h"
#include "app/window_events.h"
#include "platform/test/test_platform.h"
#include "timing/second_timer.h"
#include "world/frame_step.h"
#include "world/world_values.h"

void ResetGame() {
    testplatform::Reset();
    court = initial::kCourt;
    ballVelocity = Velocity(initial::kBallSpeed, initial::kBallAngle);
    ball = initial::kBall;
    std::fill(std::begin(trail), std::end(trail), Box());
    leftPaddle = initial::LeftPaddle(court);
    rightPaddle = initial::RightPaddle(court);
    leftScore = initial::kScore;
    rightScore = initial::kScore;
    leftBarLength = initial::kBarLength;
    rightBarLength = initial::kBarLength;
    leftGoalColor = initial::kGoalColor;
    rightGoalColor = initial::kGoalColor;
    splashActive.store(initial::kSplashActive);
    leftComputer = initial::kComputer;
    rightComputer = initial::kComputer;
    framesSinceTrail = initial::kFramesSinceTrail;
    std::fill(std::begin(keys), std::end(keys), false);
    framesThisSecond.store(initial::kFramesThisSecond);
    framesPerSecond.store(initial::kFramesPerSecond);
    trailInterval.store(initial::kTrailInterval);
    secondsElapsed = initial::kSecondsElapsed;
    timerCaps = initial::kTimerCaps;
    timerId = initial::kTimerId;
    timerStarted = initial::kTimerStarted;
    hInstance = initial::kInstance;
    hWnd = initial::kWnd;
    hDC = initial::kDC;
    hRC = initial::kRC;
    fullscreen = initial::kFullscreen;
    windowClassRegistered = initial::kWindowClassRegistered;
    windowActive = initial::kWindowActive;
    gameWindowLost = initial::kGameWindowLost;
}
