#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/test/test_platform.h"
#include "tests/support/game_reset.h"
#include "tests/support/headless_match.h"
#include "timing/second_timer.h"
#include "world/world_values.h"

namespace {

bool Finite(const Box& box) {
    return std::isfinite(box.min.x) && std::isfinite(box.min.y) && std::isfinite(box.max.x) &&
           std::isfinite(box.max.y);
}

// Invariants a whole match must hold after every frame.
struct MatchWatch {
    std::int64_t frames = 0;
    std::int64_t misses = 0;
    std::int32_t lastTotal = 0;
    // How far outside the court the ball got, in frames of travel at the
    // speed it had when the frame began.
    double worstOutsideInFrames = 0.0;
    double speedBefore = initial::kBallSpeed;
    int framesPerSecond = 90;
    std::int64_t blurFrames = 0;
    bool finite = true;
    bool paddlesInside = true;
    bool barsSum = true;

    void Check() {
        ++frames;
        finite = finite && Finite(ball) && Finite(leftPaddle) && Finite(rightPaddle) &&
                 std::isfinite(ballVelocity.Dx()) && std::isfinite(ballVelocity.Dy()) &&
                 std::isfinite(leftBarLength) && std::isfinite(leftGoalColor.r);
        for (const Box* paddle : {&leftPaddle, &rightPaddle}) {
            paddlesInside = paddlesInside && paddle->MinCorner().y >= court.MinCorner().y - 1e-9 &&
                            paddle->MaxCorner().y <= court.MaxCorner().y + 1e-9;
        }
        barsSum = barsSum && std::fabs(leftBarLength + rightBarLength - 6.4f) < 1e-5f;
        const std::int32_t total = leftScore + rightScore;
        misses += total - lastTotal;
        lastTotal = total;
        const double outside = std::fmax(
            std::fmax(court.MinCorner().x - ball.MinCorner().x, ball.MaxCorner().x - court.MaxCorner().x),
            std::fmax(court.MinCorner().y - ball.MinCorner().y, ball.MaxCorner().y - court.MaxCorner().y));
        const double travel = speedBefore * court.Width() / (framesPerSecond * kMotionDivisor);
        // Each paddle hit speeds the ball up for good. Once a frame carries it
        // across half the court, frames of misses can follow one another, and
        // a miss frame skips the walls, so the ball may wander off vertically:
        // that blur lies beyond any playable speed and is counted apart.
        if (travel < court.Width() / 2) {
            worstOutsideInFrames = std::fmax(worstOutsideInFrames, outside / travel);
        } else {
            ++blurFrames;
        }
        speedBefore = ballVelocity.Speed();
    }
};

TEST(HeadlessMatch, AnHourAtNinetyFramesHoldsItsInvariants) {
    ResetGame();
    std::srand(12345);
    MatchWatch watch;
    std::size_t missSounds = 0;
    std::size_t soundsBefore = 0;
    PlayHeadlessMatch(90, 3600, [&] {
        watch.Check();
        const std::size_t sounds = testplatform::Get().soundCount;
        if (sounds != soundsBefore && testplatform::LastSound() == "miss.wav") {
            ++missSounds;
        }
        soundsBefore = sounds;
    });
    EXPECT_EQ(watch.frames, 90 * 3600);
    EXPECT_TRUE(watch.finite);
    EXPECT_TRUE(watch.paddlesInside);
    EXPECT_TRUE(watch.barsSum);
    EXPECT_EQ(watch.misses, leftScore + rightScore);
    EXPECT_GT(leftScore + rightScore, 0) << "computer players never miss? suspicious";
    EXPECT_GT(missSounds, 0u);
    // A ball crosses a line by at most one frame's travel before it is turned
    // back; only at a corner (a miss whose new direction points at the wall
    // it also crossed) can it go one more frame out before the wall turns it.
    EXPECT_LE(watch.worstOutsideInFrames, 2.0);
    EXPECT_EQ(watch.blurFrames, 0);
    EXPECT_FALSE(splashActive.load());
    EXPECT_EQ(secondsElapsed, 3600);
    EXPECT_EQ(framesPerSecond.load(), 90);
}

TEST(HeadlessMatch, TenHoursAtSixtyFramesHoldItsInvariants) {
    ResetGame();
    std::srand(777);
    MatchWatch watch;
    watch.framesPerSecond = 60;
    PlayHeadlessMatch(60, 10 * 3600, [&] { watch.Check(); });
    EXPECT_EQ(watch.frames, 60LL * 10 * 3600);
    EXPECT_TRUE(watch.finite);
    EXPECT_TRUE(watch.paddlesInside);
    EXPECT_TRUE(watch.barsSum);
    EXPECT_EQ(watch.misses, leftScore + rightScore);
    EXPECT_LE(watch.worstOutsideInFrames, 2.0);
    EXPECT_LT(watch.blurFrames, watch.frames);
    EXPECT_EQ(secondsElapsed, 5000);
}

TEST(HeadlessMatch, SplashHoldsForFourTicksThenPlayBegins) {
    ResetGame();
    PlayHeadlessMatch(30, 4);
    EXPECT_TRUE(splashActive.load());
    EXPECT_EQ(ball.MinCorner().x, 0.0);
    PlayHeadlessMatch(30, 1);
    EXPECT_FALSE(splashActive.load());
    PlayHeadlessMatch(30, 1);
    EXPECT_NE(ball.MinCorner().x, 0.0);
}

// FNV-1a over the bytes of every number the frames leave behind.
struct WorldDigest {
    std::uint64_t value = 14695981039346656037u;

    template <typename T>
    void Add(T number) {
        unsigned char bytes[sizeof number];
        std::memcpy(bytes, &number, sizeof number);
        for (unsigned char byte : bytes) {
            value = (value ^ byte) * 1099511628211u;
        }
    }
    void AddWorld() {
        Add(ball.MinCorner().x);
        Add(ball.MinCorner().y);
        Add(ballVelocity.Dx());
        Add(ballVelocity.Dy());
        Add(leftPaddle.MinCorner().y);
        Add(rightPaddle.MinCorner().y);
        Add(leftBarLength);
        Add(leftGoalColor.r);
    }
};

// The numbers were taken from the x86_64 build; the arm64 build, run under
// emulation, must give them bit for bit.
TEST(HeadlessMatch, TheSameNumbersOnEveryProcessor) {
    std::srand(1);
    if (std::rand() != 1804289383) {
        GTEST_SKIP() << "this C library's rand() is not glibc's, so the match takes another course";
    }
    ResetGame();
    std::srand(2026);
    WorldDigest digest;
    PlayHeadlessMatch(90, 600, [&] { digest.AddWorld(); });
    char end[160];
    std::snprintf(end, sizeof end, "ball %a %a, velocity %a %a, score %d:%d", ball.MinCorner().x,
                  ball.MinCorner().y, ballVelocity.Dx(), ballVelocity.Dy(), leftScore, rightScore);
    EXPECT_STREQ(end,
                 "ball 0x1.7a98b69e56819p+0 -0x1.2f714bbb0fa3cp+0, "
                 "velocity 0x1.51e1bfb3b7ef1p+3 0x1.5de30a7e9f5fcp+3, score 961:974");
    EXPECT_EQ(digest.value, 7160691587909277109u);
}

}  // namespace
