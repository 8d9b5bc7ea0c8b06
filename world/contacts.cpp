#include "world/contacts.h"

#include <cstdint>
#include <cstdlib>

#include "platform/platform.h"
#include "world/world_values.h"

namespace {

constexpr double kPaddleDeflection = 60.0;
constexpr double kSpeedGain = 0.02;
constexpr float kBarSpan = 6.4f;

bool CentreWithinPaddle(const Box& paddle, const Box& ball) {
    const double yc = CentreY(ball);
    return paddle.MinCorner().y <= yc && yc <= paddle.MaxCorner().y;
}

void UpdateScoreBars() {
    const std::int32_t total = leftScore + rightScore;
    leftBarLength = static_cast<float>(static_cast<double>(leftScore) / total * kBarSpan);
    rightBarLength = static_cast<float>(static_cast<double>(rightScore) / total * kBarSpan);
}

// The angle is always a rightward direction; the right paddle mirrors it after.
void BounceOffPaddle(const Box& paddle) {
    const double yc = CentreY(ball);
    const double yp = CentreY(paddle);
    const double span = paddle.MaxCorner().y - paddle.MinCorner().y;
    const auto a = static_cast<std::int32_t>((yc - yp) * 2.0 / span * kPaddleDeflection);
    ballVelocity.SetPolar(ballVelocity.Speed() + kSpeedGain, a);
}

}  // namespace

bool ReachesRightEnd(Box court_, Box ball_, Velocity velocity) {
    return ball_.MaxCorner().x >= court_.MaxCorner().x && velocity.Dx() > 0.0;
}

bool ReachesLeftEnd(Box court_, Box ball_, Velocity velocity) {
    return ball_.MinCorner().x <= court_.MinCorner().x && velocity.Dx() < 0.0;
}

bool ReachesTopWall(Box court_, Box ball_, Velocity velocity) {
    return ball_.MaxCorner().y >= court_.MaxCorner().y && velocity.Dy() > 0.0;
}

bool ReachesBottomWall(Box court_, Box ball_, Velocity velocity) {
    return ball_.MinCorner().y <= court_.MinCorner().y && velocity.Dy() < 0.0;
}

bool HitsRightPaddle(Box paddle, Box ball_, Velocity velocity) {
    return ball_.MaxCorner().x >= paddle.MinCorner().x && velocity.Dx() > 0.0 &&
           CentreWithinPaddle(paddle, ball_);
}

bool HitsLeftPaddle(Box paddle, Box ball_, Velocity velocity) {
    return ball_.MinCorner().x <= paddle.MaxCorner().x && velocity.Dx() < 0.0 &&
           CentreWithinPaddle(paddle, ball_);
}

void HandleBallContacts() {
    if (ReachesRightEnd(court, ball, ballVelocity)) {
        ballVelocity.SetPolar(ballVelocity.Speed(), 135 + std::rand() % 90);
        rightGoalColor = rightGoalFlashColor;
        platform::PlaySoundFile("miss.wav");
        leftScore += 1;
        UpdateScoreBars();
    } else if (ReachesLeftEnd(court, ball, ballVelocity)) {
        ballVelocity.SetPolar(ballVelocity.Speed(), std::rand() % 90 - 45);
        leftGoalColor = leftGoalFlashColor;
        platform::PlaySoundFile("miss.wav");
        rightScore += 1;
        UpdateScoreBars();
    } else if (ReachesTopWall(court, ball, ballVelocity) ||
               ReachesBottomWall(court, ball, ballVelocity)) {
        ballVelocity.SetCartesian(ballVelocity.Dx(), -ballVelocity.Dy());
        platform::PlaySoundFile("tbhit.wav");
    }

    if (HitsRightPaddle(rightPaddle, ball, ballVelocity)) {
        BounceOffPaddle(rightPaddle);
        ballVelocity.SetCartesian(-ballVelocity.Dx(), ballVelocity.Dy());
        platform::PlaySoundFile("rlhit.wav");
    } else if (HitsLeftPaddle(leftPaddle, ball, ballVelocity)) {
        BounceOffPaddle(leftPaddle);
        platform::PlaySoundFile("rlhit.wav");
    }
}
