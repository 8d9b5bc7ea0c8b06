#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>

#include "platform/test/test_platform.h"
#include "tests/support/game_reset.h"
#include "timing/second_timer.h"
#include "world/frame_step.h"
#include "world/world_values.h"

namespace {

class SecondTick : public ::testing::Test {
protected:
    void SetUp() override { ResetGame(); }
    static void Tick() { OnSecondTick(0, 0, 0, 0, 0); }
};

TEST_F(SecondTick, TakesAndResetsTheFrameCount) {
    framesThisSecond.store(90);
    Tick();
    EXPECT_EQ(framesPerSecond.load(), 90);
    EXPECT_EQ(framesThisSecond.load(), 0);
    EXPECT_EQ(trailInterval.load(), 10);  // q = 10.159...
    Tick();
    EXPECT_EQ(framesPerSecond.load(), 0);
    EXPECT_EQ(trailInterval.load(), 1);
}

TEST_F(SecondTick, SplashEndsAtTheFifthTick) {
    for (int i = 0; i < 4; ++i) {
        Tick();
    }
    EXPECT_TRUE(splashActive.load());
    Tick();
    EXPECT_FALSE(splashActive.load());
    EXPECT_EQ(secondsElapsed, 5);
}

TEST_F(SecondTick, SecondsStopAtFiveThousand) {
    for (int i = 0; i < 5003; ++i) {
        Tick();
    }
    EXPECT_EQ(secondsElapsed, 5000);
    EXPECT_FALSE(splashActive.load());
}

constexpr double kWidth = initial::kCourt.Width();

TEST(TrailInterval, FollowsTheFrameRateAndTheHorizontalSpeed) {
    const double dx = Velocity(initial::kBallSpeed, initial::kBallAngle).Dx();
    EXPECT_EQ(TrailIntervalFor(90, dx, kWidth), 10);
    EXPECT_EQ(TrailIntervalFor(90, -dx, kWidth), 10);  // leftwards alike
    EXPECT_EQ(TrailIntervalFor(0, dx, kWidth), 1);
    EXPECT_EQ(TrailIntervalFor(90, 0.0, kWidth), 1);
    EXPECT_EQ(TrailIntervalFor(0, 0.0, kWidth), 1);
    EXPECT_EQ(TrailIntervalFor(1000, dx, kWidth), 112);
}

TEST(TrailInterval, TruncatesNegatesAndKeepsAtLeastOne) {
    // q = 0.2 / (dx * width / (f * divisor)); with f = 1 and dx chosen so q is exact.
    auto dxFor = [](double q) { return 0.2 / q * kMotionDivisor / kWidth; };
    EXPECT_EQ(TrailIntervalFor(1, dxFor(0.7), kWidth), 1);
    EXPECT_EQ(TrailIntervalFor(1, dxFor(1.99), kWidth), 1);
    EXPECT_EQ(TrailIntervalFor(1, dxFor(2.01), kWidth), 2);
    EXPECT_EQ(TrailIntervalFor(8, 1.0, kMotionDivisor), 1);  // q = 0.2 * 8 = 1.6
    EXPECT_EQ(TrailIntervalFor(1, dxFor(-3.5), kWidth), 3);
}

TEST(TrailInterval, QuotientBeyondThirtyTwoBitsStoresTheLargestValue) {
    EXPECT_EQ(TrailIntervalFor(5000, 1e-12, kWidth), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(TrailIntervalFor(5000, -1e-300, kWidth), std::numeric_limits<std::int32_t>::max());
}

TEST(StartSecondTimer, AsksForTheFinestPeriodAndAOneSecondPeriodicEvent) {
    ResetGame();
    platform::TimerCaps caps;
    std::uint32_t id = 0;
    ASSERT_TRUE(StartSecondTimer(&caps, &id));
    EXPECT_EQ(id, 7u);
    EXPECT_EQ(testplatform::Get().calls,
              (std::vector<std::string>{"TimeGetDevCaps(8)", "TimeBeginPeriod(1)", "TimeSetEvent(1000,1,1)"}));
}

TEST(StartSecondTimer, EachFailingStepStopsIt) {
    for (const char* step : {"TimeGetDevCaps", "TimeBeginPeriod", "TimeSetEvent"}) {
        ResetGame();
        testplatform::Get().failing.insert(step);
        platform::TimerCaps caps;
        std::uint32_t id = 0;
        EXPECT_FALSE(StartSecondTimer(&caps, &id)) << step;
        EXPECT_EQ(id, 0u);
    }
    ResetGame();
    testplatform::Get().failing.insert("TimeGetDevCaps");
    platform::TimerCaps caps;
    std::uint32_t id = 0;
    StartSecondTimer(&caps, &id);
    EXPECT_EQ(testplatform::Get().calls, std::vector<std::string>{"TimeGetDevCaps(8)"});
}

// What the ticks of a real timer thread took from the frame counter.
std::atomic<std::int64_t> framesTaken{0};
std::atomic<int> ticksTaken{0};

// A burst of ticks at each wake-up: many exchanges while the frames run.
void CountingTicks(std::uint32_t id, std::uint32_t message, std::uintptr_t user, std::uintptr_t r1, std::uintptr_t r2) {
    for (int tick = 0; tick < 100; ++tick) {
        OnSecondTick(id, message, user, r1, r2);
        framesTaken += framesPerSecond.load();  // written by this thread alone
        ticksTaken += 1;
    }
}

TEST(SecondTickThreads, EveryFrameIsCountedExactlyOnceAcrossTicks) {
    ResetGame();
    splashActive.store(false);
    leftComputer = true;
    rightComputer = true;
    timerStarted = true;  // the timer below stands in for the game's
    testplatform::Get().realTimerPeriodMs = 1;
    const std::uint32_t id = platform::TimeSetEvent(1000, 1, CountingTicks, 0, platform::kTimePeriodic);
    ASSERT_NE(id, 0u);
    std::int64_t frames = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((ticksTaken.load() < 100000 || frames < 100000) && std::chrono::steady_clock::now() < deadline) {
        RunFrame();
        ++frames;
    }
    platform::TimeKillEvent(id);  // joins the timer thread
    EXPECT_GE(ticksTaken.load(), 100000);
    EXPECT_EQ(framesTaken.load() + framesThisSecond.load(), frames);
}

TEST(SecondTickThreads, RealTimerThreadTicksWhileFramesRun) {
    ResetGame();
    leftComputer = true;
    rightComputer = true;
    // Ticks every millisecond on their own thread, started by the first frame.
    testplatform::Get().realTimerPeriodMs = 1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (splashActive.load() && std::chrono::steady_clock::now() < deadline) {
        RunFrame();
    }
    // Thousands of play frames with ticks still arriving.
    for (int frame = 0; frame < 20000; ++frame) {
        RunFrame();
    }
    platform::TimeKillEvent(timerId);  // joins the timer thread
    EXPECT_FALSE(splashActive.load());
    EXPECT_GE(secondsElapsed, 5);
    EXPECT_GE(trailInterval.load(), 1);
    EXPECT_GE(framesPerSecond.load(), 0);
    EXPECT_TRUE(std::isfinite(ball.MinCorner().x) && std::isfinite(ball.MinCorner().y));
    EXPECT_NE(ball.MinCorner().x, 0.0);  // play began once the splash ended
}

}  // namespace
