#include "world/frame_step.h"

#include "render/scene.h"
#include "timing/second_timer.h"
#include "world/computer_players.h"
#include "world/contacts.h"
#include "world/paddles.h"
#include "world/world_values.h"

bool timerStarted = initial::kTimerStarted;

namespace {

void PaceTrail() {
    framesSinceTrail += 1;
    if (framesSinceTrail < trailInterval.load(std::memory_order_relaxed)) {
        return;
    }
    framesSinceTrail = 0;
    for (int i = kTrailLength - 1; i > 0; --i) {
        trail[i] = trail[i - 1];
    }
    trail[0] = ball;
}

void MoveBall() {
    const double w = court.Width();
    const double f = FrameRateForMotion();
    ball.MoveX(ballVelocity.Dx() * w / (f * kMotionDivisor));
    ball.MoveY(ballVelocity.Dy() * w / (f * kMotionDivisor));
}

// Each flashed channel returns to its rest value in one second of frames; it
// may end one step beyond it, which nobody sees.
void FadeGoalStrips() {
    const float f = static_cast<float>(FrameRateForMotion());
    if (leftGoalColor.r > goalRestColor.r) {
        leftGoalColor.r -= (leftGoalFlashColor.r - goalRestColor.r) / f;
    }
    if (leftGoalColor.g > goalRestColor.g) {
        leftGoalColor.g -= (leftGoalFlashColor.g - goalRestColor.g) / f;
    }
    if (rightGoalColor.g < goalRestColor.g) {
        rightGoalColor.g += (goalRestColor.g - rightGoalFlashColor.g) / f;
    }
    if (rightGoalColor.b < goalRestColor.b) {
        rightGoalColor.b += (goalRestColor.b - rightGoalFlashColor.b) / f;
    }
}

}  // namespace

bool RunFrame() {
    if (!timerStarted) {
        StartTimerOnFirstFrame();
        timerStarted = true;
    }
    BeginFrame();
    framesThisSecond.fetch_add(1, std::memory_order_relaxed);
    if (splashActive.load(std::memory_order_relaxed)) {
        DrawSplash();
    } else {
        DrawCourt();
        PaceTrail();
        MoveBall();
        HandleBallContacts();
        if (leftComputer) {
            SteerLeftComputer(leftPaddle, ball, keys, ballVelocity, court);
        }
        if (rightComputer) {
            SteerRightComputer(rightPaddle, ball, keys, ballVelocity, court);
        }
        FadeGoalStrips();
    }
    MovePaddles();
    return true;
}
