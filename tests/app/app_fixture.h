#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "app/game_main.h"
#include "app/game_window.h"
#include "app/window_events.h"
#include "platform/test/test_platform.h"
#include "tests/support/game_reset.h"
#include "tests/support/scene_stub.h"
#include "timing/second_timer.h"

// Every test starts from the state of a freshly started process, with the
// test backend answering every question with its default button.
class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetGame();
        Scene() = SceneStub();
        if (!frameLog.is_open()) {
            frameLog.open("vorn.txt");
        }
        // A loop that fails to end as a test expects is ended here, so the
        // test fails on its checks instead of hanging.
        Platform().onSwap = [](int swaps) { CloseAtFrameLimit(swaps); };
    }

    static constexpr int kFrameLimit = 1000;
    static void CloseAtFrameLimit(int swaps) {
        if (swaps == kFrameLimit) {
            testplatform::Post(platform::kWmClose);
        }
    }

    static testplatform::State& Platform() { return testplatform::Get(); }
    static const std::vector<std::string>& Calls() { return Platform().calls; }

    static bool Called(const std::string& call) {
        return std::find(Calls().begin(), Calls().end(), call) != Calls().end();
    }

    static int CountOf(const std::string& call) {
        return static_cast<int>(std::count(Calls().begin(), Calls().end(), call));
    }

    // The calls recorded after the first occurrence of call, up to the end.
    static std::vector<std::string> CallsAfter(const std::string& call) {
        const auto found = std::find(Calls().begin(), Calls().end(), call);
        return found == Calls().end() ? std::vector<std::string>() : std::vector<std::string>(found + 1, Calls().end());
    }

    static void Answer(const std::string& caption, int answer) { Platform().answers[caption] = answer; }
    static void Fail(const std::string& call) { Platform().failing.insert(call); }

    // Closes the window after the given number of frames.
    static void CloseAfterFrames(int frames) {
        Platform().onSwap = [frames](int swaps) {
            CloseAtFrameLimit(swaps);
            if (swaps == frames) {
                testplatform::Post(platform::kWmClose);
            }
        };
    }

    // A box as it was shown: caption, text and style, compared in one go.
    using ShownBox = std::tuple<std::string, std::string, std::uint32_t>;
    static ShownBox Shown(const testplatform::MessageBoxCall& box) {
        return {box.caption, box.text, box.style};
    }

    static std::vector<std::string> Captions() {
        std::vector<std::string> captions;
        for (const auto& box : Platform().messageBoxes) {
            captions.push_back(box.caption);
        }
        return captions;
    }
};

// The teardown calls that CloseGameWindow makes when everything exists.
inline const std::vector<std::string> kFullTeardown = {
    "MakeGlContextCurrent(none)", "DeleteGlContext()", "ReleaseDeviceContext()", "DestroyGameWindow()",
    "UnregisterWindowClass()"};

inline const char kFallbackText[] =
    "The requested fullscreen mode does not seem to be\n"
    "supported by your video card. Attempt it anyway?\n"
    "('No' will initiate windowed mode, cancel will quit)";
