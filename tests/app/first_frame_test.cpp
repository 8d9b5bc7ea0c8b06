// The second timer cannot be started at the first frame: the user is told,
// the window is closed and the program ends with status 0.
#include "tests/app/app_fixture.h"

#include "world/frame_step.h"

namespace {

class TimerStartFailure : public AppTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        AppTest::SetUp();
        Answer("Start fullscreen?", platform::kIdNo);
        Fail(GetParam());
    }
};

TEST_P(TimerStartFailure, IsToldThenTheWindowClosesAndTheProgramEnds) {
    EXPECT_EQ(GameMain(), 0);

    const auto& box = Platform().messageBoxes.back();
    EXPECT_EQ(Shown(box),
              (ShownBox{"Error", "Timer-setting error.", platform::kMbOk | platform::kMbIconWarning}));
    EXPECT_EQ(CountOf("ShowMessageBox(Error)"), 1);

    // The window is torn down once, after the message has been dismissed.
    const auto afterMessage = CallsAfter("ShowMessageBox(Error)");
    const std::vector<std::string> teardown(afterMessage.begin(),
                                            afterMessage.begin() + static_cast<long>(kFullTeardown.size()));
    EXPECT_EQ(teardown, kFullTeardown);
    EXPECT_EQ(CountOf("DestroyGameWindow()"), 1);
    EXPECT_EQ(CountOf("UnregisterWindowClass()"), 1);

    // No frame is shown and none runs after the failed one.
    EXPECT_EQ(Platform().swaps, 0);
    EXPECT_EQ(framesThisSecond.load(), 1);
    EXPECT_TRUE(timerStarted);

    // The exit sequence still stops what may have started and closes the log.
    EXPECT_TRUE(Called("TimeKillEvent(0)") || Called("TimeKillEvent(7)"));
    EXPECT_FALSE(frameLog.is_open());
}

INSTANTIATE_TEST_SUITE_P(EveryStep, TimerStartFailure,
                         ::testing::Values("TimeGetDevCaps", "TimeBeginPeriod", "TimeSetEvent"));

TEST_F(AppTest, AResolutionRaisedBeforeTheTimerFailedIsReleasedAtExit) {
    Answer("Start fullscreen?", platform::kIdNo);
    Fail("TimeSetEvent");
    GameMain();
    const auto afterMessage = CallsAfter("ShowMessageBox(Error)");
    EXPECT_EQ(std::count(afterMessage.begin(), afterMessage.end(), "TimeEndPeriod(1)"), 1);
}

}  // namespace
