#include "world/paddles.h"

#include "timing/second_timer.h"
#include "world/world_values.h"

namespace {

constexpr double kHeightAllowance = 2.2;
constexpr double kComputerHandicap = 0.6;

// A person's paddle covers 2.4 ball-speed units a second on this court, a
// computer's 1.8; both speed up as the ball does.
double PaddleStep(bool computerSide) {
    const double k = computerSide ? 1.0 : 0.0;
    const double factor = court.Height() - kHeightAllowance - kComputerHandicap * k;
    return ballVelocity.Speed() * factor / FrameRateForMotion();
}

void ClampInsideCourt(Box& paddle) {
    if (PaddleAboveCourt(paddle, court)) {
        paddle.MoveY(-(paddle.MaxCorner().y - court.MaxCorner().y));
    }
}

void ClampAboveFloor(Box& paddle) {
    if (PaddleBelowCourt(paddle, court)) {
        paddle.MoveY(court.MinCorner().y - paddle.MinCorner().y);
    }
}

}  // namespace

bool PaddleAboveCourt(Box paddle, Box court_) { return paddle.MaxCorner().y > court_.MaxCorner().y; }

bool PaddleBelowCourt(Box paddle, Box court_) { return paddle.MinCorner().y < court_.MinCorner().y; }

void MovePaddles() {
    if (keys[kKeyW] && leftPaddle.MaxCorner().y < court.MaxCorner().y) {
        leftPaddle.MoveY(PaddleStep(leftComputer));
    }
    if (keys[kKeyS] && leftPaddle.MinCorner().y > court.MinCorner().y) {
        leftPaddle.MoveY(-PaddleStep(leftComputer));
    }
    if (keys[kKeyUp] && rightPaddle.MaxCorner().y < court.MaxCorner().y) {
        rightPaddle.MoveY(PaddleStep(rightComputer));
    }
    if (keys[kKeyDown] && rightPaddle.MinCorner().y > court.MinCorner().y) {
        rightPaddle.MoveY(-PaddleStep(rightComputer));
    }
    ClampInsideCourt(leftPaddle);
    ClampInsideCourt(rightPaddle);
    ClampAboveFloor(leftPaddle);
    ClampAboveFloor(rightPaddle);
}
