#include "world/geometry.h"

#include <cmath>

namespace {
constexpr double kOneOver360 = 0.002777777777777778;
}

Velocity::Velocity(double speed_, std::int32_t angle_) : speed(speed_), angle(angle_) {
    DerivePolarToCartesian();
}

Velocity::Velocity(const Velocity& other)
    : speed(other.speed), dx(other.Dx()), dy(other.dy), pi(other.pi), angle(other.angle) {}

Velocity& Velocity::operator=(const Velocity& other) {
    speed = other.speed;
    StoreDx(other.Dx());
    dy = other.dy;
    pi = other.pi;
    angle = other.angle;
    return *this;
}

void Velocity::DerivePolarToCartesian() {
    const double radians = angle * kOneOver360 * (pi + pi);
    StoreDx(std::cos(radians) * speed);
    dy = speed * std::sin(radians);
}

void Velocity::SetPolar(double speed_, std::int32_t angle_) {
    speed = speed_;
    if (angle_ < 0) {
        // Whole turns are added until the angle lies in 0..359. Computed in 64
        // bits so that the most negative angles cannot overflow.
        const std::int64_t a = angle_;
        angle_ = static_cast<std::int32_t>(a + 360 * ((359 - a) / 360));
    }
    angle = angle_;
    DerivePolarToCartesian();
}

void Velocity::SetCartesian(double dx_, double dy_) {
    StoreDx(dx_);
    dy = dy_;
    speed = std::sqrt(dx_ * dx_ + dy_ * dy_);
    if (dx_ == 0.0 && dy_ == 0.0) {
        // No direction: 0/0 would make a NaN, and converting a NaN to an
        // integer is undefined, so a zero velocity points along +x.
        angle = 0;
        return;
    }
    const double t = std::atan(dy_ / dx_);
    std::int32_t a = static_cast<std::int32_t>(t * (360.0 / (pi + pi)));
    if (dx_ < 0.0) {
        a += 180;
    } else if (dx_ > 0.0 && dy_ < 0.0) {
        a += 360;
    }
    angle = a;
}
