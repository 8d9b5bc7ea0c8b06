#pragma once

#include <atomic>
#include <cstdint>

// Scene coordinates: x to the right, y upwards. Angles are whole degrees
// counter-clockwise from +x. Every real-to-integer conversion truncates.

struct Vec2 {
    double x = 0.0;
    double y = 0.0;

    constexpr Vec2() = default;
    constexpr Vec2(double x_, double y_) : x(x_), y(y_) {}
};

struct Box {
    Vec2 min;
    Vec2 max;
    double width = 0.15;
    double height = 0.15;

    // Corners at the origin but a recorded size of 0.15: such a box draws as
    // an empty quad until a whole box is copied over it.
    constexpr Box() = default;
    constexpr Box(Vec2 corner, double w, double h)
        : min(corner), max(corner.x + w, corner.y + h), width(w), height(h) {}
    constexpr Box(Vec2 lowerLeft, Vec2 upperRight)
        : min(lowerLeft),
          max(upperRight),
          width(upperRight.x - lowerLeft.x),
          height(upperRight.y - lowerLeft.y) {}

    constexpr Vec2 MinCorner() const { return min; }
    constexpr Vec2 MaxCorner() const { return max; }
    constexpr double Width() const { return width; }
    constexpr double Height() const { return height; }

    constexpr void MoveX(double d) {
        min.x += d;
        max.x = min.x + width;
    }
    constexpr void MoveY(double d) {
        min.y += d;
        max.y = min.y + height;
    }
};

constexpr double CentreY(const Box& box) { return (box.MaxCorner().y + box.MinCorner().y) * 0.5; }

struct Velocity {
    double speed = 0.0;
    // The second timer reads the ball's dx from its own thread while a bounce
    // may rewrite it, so every access to dx, copies included, is atomic.
    std::atomic<double> dx{0.0};
    double dy = 0.0;
    double pi = 3.141592653589;
    std::int32_t angle = 0;

    Velocity() = default;
    Velocity(double speed_, std::int32_t angle_);
    Velocity(const Velocity& other);
    Velocity& operator=(const Velocity& other);

    void SetPolar(double speed_, std::int32_t angle_);
    void SetCartesian(double dx_, double dy_);

    double Speed() const { return speed; }
    // Either side of a concurrent bounce will do: no ordering is needed.
    double Dx() const { return dx.load(std::memory_order_relaxed); }
    double Dy() const { return dy; }

private:
    void StoreDx(double value) { dx.store(value, std::memory_order_relaxed); }
    void DerivePolarToCartesian();
};

static_assert(std::atomic<double>::is_always_lock_free, "the frame and the timer must not lock to share dx");
