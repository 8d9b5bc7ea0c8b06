// The message loop, the exit sequence and the exit status.
#include "tests/app/app_fixture.h"

#include "world/world_values.h"

namespace {

using platform::kWmActivate;
using platform::kWmClose;
using platform::kWmKeyDown;
using platform::kWmKeyUp;
using testplatform::Post;

constexpr std::uintptr_t kMinimised = std::uintptr_t{1} << 16;
constexpr std::uintptr_t kActive = 1;
constexpr std::uintptr_t kInactive = 0;

class MainLoop : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        Answer("Start fullscreen?", platform::kIdNo);
    }
};

TEST_F(MainLoop, ClosingTheWindowEndsWithStatusZero) {
    CloseAfterFrames(3);
    EXPECT_EQ(GameMain(), 0);
    EXPECT_EQ(Platform().swaps, 3);
    EXPECT_TRUE(Called("PostQuit(0)"));
    // The window procedure does not destroy the window; the exit sequence does.
    EXPECT_EQ(CountOf("DestroyGameWindow()"), 1);
}

TEST_F(MainLoop, TheExitSequenceStopsTheTimerThenClosesTheLogThenTheWindow) {
    std::vector<std::pair<std::string, bool>> logOpenAt;
    Platform().onCall = [&logOpenAt](const std::string& call) { logOpenAt.emplace_back(call, frameLog.is_open()); };
    CloseAfterFrames(2);
    GameMain();

    std::vector<std::pair<std::string, bool>> exitSequence;
    bool seen = false;
    for (const auto& entry : logOpenAt) {
        seen = seen || entry.first.rfind("TimeKillEvent", 0) == 0;
        if (seen) {
            exitSequence.push_back(entry);
        }
    }
    EXPECT_EQ(exitSequence, (std::vector<std::pair<std::string, bool>>{
                                {"TimeKillEvent(7)", true},
                                {"TimeEndPeriod(1)", true},
                                {"MakeGlContextCurrent(none)", false},
                                {"DeleteGlContext()", false},
                                {"ReleaseDeviceContext()", false},
                                {"DestroyGameWindow()", false},
                                {"UnregisterWindowClass()", false}}));
    EXPECT_FALSE(frameLog.is_open());
}

TEST_F(MainLoop, EscapeEndsWithTheWordParameterOfTheLastMessageTaken) {
    Platform().onSwap = [](int swaps) {
        CloseAtFrameLimit(swaps);
        if (swaps == 2) {
            // Escape goes down with more messages behind it: all are handled
            // before the next idle pass ends the loop.
            Post(kWmKeyDown, 0x1B);
            Post(platform::kWmSysCommand, platform::kScScreenSave);
        }
    };
    EXPECT_EQ(GameMain(), static_cast<int>(platform::kScScreenSave));
    EXPECT_EQ(Platform().swaps, 2);
    EXPECT_TRUE(Called("TimeKillEvent(7)"));
    EXPECT_TRUE(Called("DestroyGameWindow()"));
}

TEST_F(MainLoop, EscapeAloneEndsWithItsKeyCode) {
    Platform().onSwap = [](int swaps) {
        CloseAtFrameLimit(swaps);
        if (swaps == 1) {
            Post(kWmKeyDown, 0x1B);
        }
    };
    EXPECT_EQ(GameMain(), 27);
}

TEST_F(MainLoop, AllQueuedMessagesAreHandledBeforeTheNextFrame) {
    std::vector<bool> queueEmptyAtSwap;
    Platform().onSwap = [&queueEmptyAtSwap](int swaps) {
        queueEmptyAtSwap.push_back(Platform().queue.empty());
        if (swaps == 1) {
            Post(kWmKeyDown, kKeyW);
            Post(kWmKeyDown, kKeyUp);
            Post(platform::kWmSize, 0, 640 | (480 << 16));
        }
        if (swaps == 2) {
            EXPECT_TRUE(keys[kKeyW]);
            EXPECT_TRUE(keys[kKeyUp]);
            EXPECT_EQ(Scene().resizes.back(), std::make_pair(640, 480));
            Post(kWmClose);
        }
    };
    GameMain();
    EXPECT_EQ(queueEmptyAtSwap, (std::vector<bool>{true, true}));
}

TEST_F(MainLoop, AMinimisedWindowRunsNoFramesAndIgnoresEscapeUntilRestored) {
    int swapsWhileMinimised = -1;
    Platform().onSwap = [](int swaps) {
        CloseAtFrameLimit(swaps);
        if (swaps == 1) {
            Post(kWmActivate, kInactive | kMinimised);
            Post(kWmKeyDown, 0x1B);
        }
    };
    Platform().onEmptyQueue = [&swapsWhileMinimised](int polls) {
        if (polls == 1000) {
            swapsWhileMinimised = Platform().swaps;
            Post(kWmActivate, kActive);
        }
    };
    // Escape is still down when the window comes back: the first idle pass
    // after the restore ends the loop, with the restore message's parameter.
    EXPECT_EQ(GameMain(), static_cast<int>(kActive));
    EXPECT_EQ(swapsWhileMinimised, 1);
    EXPECT_EQ(Platform().swaps, 1);
    EXPECT_GE(Platform().emptyPolls, 1000);
}

TEST_F(MainLoop, AWindowThatLosesTheFocusKeepsRunningFrames) {
    Platform().onSwap = [](int swaps) {
        if (swaps == 1) {
            Post(kWmActivate, kInactive);
        }
        if (swaps == 5) {
            Post(kWmClose);
        }
    };
    EXPECT_EQ(GameMain(), 0);
    EXPECT_EQ(Platform().swaps, 5);
    EXPECT_TRUE(windowActive);
}

TEST_F(MainLoop, AHeldKeyStaysDownThroughRepeatsUntilItsKeyUp) {
    Platform().onSwap = [](int swaps) {
        switch (swaps) {
            case 1:
                Post(kWmKeyDown, kKeyDown);
                break;
            case 2:
            case 3:
                EXPECT_TRUE(keys[kKeyDown]);
                Post(kWmKeyDown, kKeyDown);  // auto-repeat
                break;
            case 4:
                EXPECT_TRUE(keys[kKeyDown]);
                Post(kWmKeyUp, kKeyDown);
                break;
            case 5:
                EXPECT_FALSE(keys[kKeyDown]);
                Post(kWmClose);
                break;
            default:
                break;
        }
    };
    EXPECT_EQ(GameMain(), 0);
    EXPECT_EQ(Platform().swaps, 5);
}

TEST_F(MainLoop, TheFirstFrameStartsTheSecondTimerOnce) {
    std::vector<std::string> callsAtFirstSwap;
    Platform().onSwap = [&callsAtFirstSwap](int swaps) {
        if (swaps == 1) {
            callsAtFirstSwap = Calls();
        }
        if (swaps == 10) {
            Post(kWmClose);
        }
    };
    GameMain();
    ASSERT_GE(callsAtFirstSwap.size(), 3u);
    const std::vector<std::string> lastBeforeSwap(callsAtFirstSwap.end() - 3, callsAtFirstSwap.end());
    EXPECT_EQ(lastBeforeSwap, (std::vector<std::string>{"TimeGetDevCaps(8)", "TimeBeginPeriod(1)",
                                                       "TimeSetEvent(1000,1,1)"}));
    EXPECT_EQ(CountOf("TimeSetEvent(1000,1,1)"), 1);
}

}  // namespace
