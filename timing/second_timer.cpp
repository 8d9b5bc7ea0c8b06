#include "timing/second_timer.h"

#include <cmath>
#include <limits>

#include "world/world_values.h"

constinit std::atomic<std::int32_t> framesThisSecond{initial::kFramesThisSecond};
constinit std::atomic<std::int32_t> framesPerSecond{initial::kFramesPerSecond};
constinit std::atomic<std::int32_t> trailInterval{initial::kTrailInterval};

std::int32_t secondsElapsed = initial::kSecondsElapsed;
platform::TimerCaps timerCaps = initial::kTimerCaps;
std::uint32_t timerId = initial::kTimerId;

namespace {

constexpr double kTrailSpacing = 0.2;
constexpr std::uint32_t kTickMs = 1000;

// Main thread only.
std::int32_t lastNonZeroFrameRate = initial::kFramesPerSecond;

}  // namespace

bool StartSecondTimer(platform::TimerCaps* caps, std::uint32_t* id) {
    if (platform::TimeGetDevCaps(caps, sizeof(platform::TimerCaps)) == platform::kTimerrStruct) {
        return false;
    }
    if (platform::TimeBeginPeriod(caps->wPeriodMin) != platform::kTimerrNoError) {
        return false;
    }
    *id = platform::TimeSetEvent(kTickMs, caps->wPeriodMin, OnSecondTick, 0, platform::kTimePeriodic);
    return *id != 0;
}

std::int32_t TrailIntervalFor(std::int32_t frameRate, double ballDx, double courtWidth) {
    const double perFrame = ballDx * courtWidth / (frameRate * kMotionDivisor);
    const double q = kTrailSpacing / perFrame;
    // No horizontal motion (or none and no frames either) makes the quotient
    // infinite or NaN; like a second without frames, that gives 1.
    if (!std::isfinite(q)) {
        return 1;
    }
    const double magnitude = std::fabs(std::trunc(q));
    // Only an almost vertical path gets here; its trail simply never moves on.
    if (magnitude > static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    const auto interval = static_cast<std::int32_t>(magnitude);
    return interval < 1 ? 1 : interval;
}

void OnSecondTick(std::uint32_t, std::uint32_t, std::uintptr_t, std::uintptr_t, std::uintptr_t) {
    if (secondsElapsed < kSecondsElapsedCap) {
        secondsElapsed += 1;
    }
    if (splashActive.load() && secondsElapsed == kSplashSeconds) {
        splashActive.store(false);
    }
    const std::int32_t rate = framesThisSecond.exchange(0);
    framesPerSecond.store(rate);
    const std::int32_t interval = TrailIntervalFor(rate, ballVelocity.Dx(), court.Width());
    trailInterval.store(interval);
    frameLog << rate << ' ' << interval << '\n';
    frameLog.flush();
}

std::int32_t FrameRateForMotion() {
    const std::int32_t rate = framesPerSecond.load(std::memory_order_relaxed);
    if (rate > 0) {
        lastNonZeroFrameRate = rate;
        return rate;
    }
    return lastNonZeroFrameRate;
}
