// Failures while opening the window ("Error", warning icon, the program ends
// with status 0) and while tearing it down ("Shutdown Error", information
// icon, the teardown goes on).
#include <cctype>
#include <ostream>
#include <tuple>

#include "tests/app/app_fixture.h"

namespace {

struct OpeningFailure {
    const char* failingCall;
    const char* message;
    // What CloseGameWindow releases before the message is shown, after the
    // display mode and cursor in fullscreen mode.
    std::vector<std::string> teardown;
};

std::string Identifier(std::string text) {
    text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }),
               text.end());
    return text;
}

void PrintTo(const OpeningFailure& row, std::ostream* out) { *out << row.failingCall; }

std::string PrintName(const ::testing::TestParamInfo<std::tuple<OpeningFailure, bool>>& info) {
    return Identifier(std::get<0>(info.param).failingCall) + (std::get<1>(info.param) ? "Fullscreen" : "Windowed");
}

const std::vector<std::string> kFromContext = kFullTeardown;
const std::vector<std::string> kFromDeviceContext(kFullTeardown.begin() + 2, kFullTeardown.end());
const std::vector<std::string> kFromWindow(kFullTeardown.begin() + 3, kFullTeardown.end());
const std::vector<std::string> kClassOnly(kFullTeardown.begin() + 4, kFullTeardown.end());

class OpeningFailures : public AppTest, public ::testing::WithParamInterface<std::tuple<OpeningFailure, bool>> {};

TEST_P(OpeningFailures, TearDownThenTellTheUserAndEndWithStatusZero) {
    const OpeningFailure& row = std::get<0>(GetParam());
    const bool fullscreenMode = std::get<1>(GetParam());
    if (!fullscreenMode) {
        Answer("Start fullscreen?", platform::kIdNo);
    }
    if (std::string(row.failingCall) == "InitScene") {
        Scene().initSucceeds = false;
    } else {
        Fail(row.failingCall);
    }

    EXPECT_EQ(GameMain(), 0);

    const auto& box = Platform().messageBoxes.back();
    EXPECT_EQ(Shown(box), (ShownBox{"Error", row.message, platform::kMbOk | platform::kMbIconWarning}));
    EXPECT_EQ(Calls().back(), "ShowMessageBox(Error)");

    // The teardown runs right before the message: the calls between the last
    // opening step and the message are exactly the teardown's.
    std::vector<std::string> expected;
    if (fullscreenMode) {
        expected = {"RestoreDisplayMode()", "ShowMouseCursor(true)"};
    }
    expected.insert(expected.end(), row.teardown.begin(), row.teardown.end());
    ASSERT_GE(Calls().size(), expected.size() + 1);
    const std::vector<std::string> beforeMessage(Calls().end() - 1 - static_cast<long>(expected.size()),
                                                 Calls().end() - 1);
    EXPECT_EQ(beforeMessage, expected);
    if (fullscreenMode) {
        EXPECT_FALSE(Platform().displayModeChanged);
        EXPECT_TRUE(Platform().cursorShown);
    }
    // No loop and no exit sequence.
    EXPECT_EQ(Platform().swaps, 0);
    EXPECT_FALSE(Called("TimeKillEvent(0)"));
    EXPECT_EQ(hWnd, nullptr);
    EXPECT_EQ(hDC, nullptr);
    EXPECT_EQ(hRC, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, OpeningFailures,
    ::testing::Combine(
        ::testing::Values(
            OpeningFailure{"CreateGameWindow", "Window creation error.", kClassOnly},
            OpeningFailure{"GetDeviceContext", "Unable to create a GL device context.", kFromWindow},
            OpeningFailure{"ChooseGlPixelFormat", "Unable to find a suitable pixelformat.", kFromDeviceContext},
            OpeningFailure{"SetGlPixelFormat", "Unable to set the pixelformat.", kFromDeviceContext},
            OpeningFailure{"CreateGlContext", "Unable to create a GL rendering context.", kFromDeviceContext},
            OpeningFailure{"MakeGlContextCurrent", "Unable to activate the GL rendering context.", kFromContext},
            OpeningFailure{"InitScene", "Initialization failed.", kFromContext}),
        ::testing::Bool()),
    PrintName);

TEST_F(AppTest, AFailedClassRegistrationIsToldAndNothingIsTornDown) {
    Fail("RegisterWindowClass");
    EXPECT_EQ(GameMain(), 0);
    ASSERT_EQ(Platform().messageBoxes.size(), 2u);  // the fullscreen question, then the failure
    const auto& box = Platform().messageBoxes.back();
    EXPECT_EQ(Shown(box), (ShownBox{"Error", "Failed to register the window class.",
                                    platform::kMbOk | platform::kMbIconWarning}));
    EXPECT_EQ(Calls(), (std::vector<std::string>{"ShowMessageBox(Start fullscreen?)", "RegisterWindowClass()",
                                                 "ShowMessageBox(Error)"}));
}

struct ShutdownFailure {
    const char* failingCall;
    const char* message;
};

void PrintTo(const ShutdownFailure& row, std::ostream* out) { *out << row.failingCall; }

class ShutdownFailures : public AppTest, public ::testing::WithParamInterface<ShutdownFailure> {};

TEST_P(ShutdownFailures, AreToldAndTheTeardownGoesOn) {
    Answer("Start fullscreen?", platform::kIdNo);
    Fail(GetParam().failingCall);
    CloseAfterFrames(2);

    EXPECT_EQ(GameMain(), 0);

    const auto& box = Platform().messageBoxes.back();
    EXPECT_EQ(Shown(box), (ShownBox{"Shutdown Error", GetParam().message,
                                    platform::kMbOk | platform::kMbIconInformation}));
    auto teardown = CallsAfter("TimeEndPeriod(1)");
    teardown.erase(std::remove(teardown.begin(), teardown.end(), "ShowMessageBox(Shutdown Error)"), teardown.end());
    EXPECT_EQ(teardown, kFullTeardown);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, ShutdownFailures,
    ::testing::Values(ShutdownFailure{"MakeGlContextCurrent(none)", "Release of DC and RC failed."},
                      ShutdownFailure{"DeleteGlContext", "Release of rendering context failed."},
                      ShutdownFailure{"ReleaseDeviceContext", "Release of device context failed."},
                      ShutdownFailure{"DestroyGameWindow", "Unable to release hWnd."},
                      ShutdownFailure{"UnregisterWindowClass", "Unable to unregister class."}),
    [](const ::testing::TestParamInfo<ShutdownFailure>& info) { return Identifier(info.param.failingCall); });

TEST_F(AppTest, EveryShutdownFailureIsToldInTeardownOrder) {
    Answer("Start fullscreen?", platform::kIdNo);
    for (const char* call : {"MakeGlContextCurrent(none)", "DeleteGlContext", "ReleaseDeviceContext",
                             "DestroyGameWindow", "UnregisterWindowClass"}) {
        Fail(call);
    }
    CloseAfterFrames(1);
    EXPECT_EQ(GameMain(), 0);
    std::vector<std::string> texts;
    for (const auto& box : Platform().messageBoxes) {
        if (box.caption == "Shutdown Error") {
            texts.push_back(box.text);
        }
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"Release of DC and RC failed.", "Release of rendering context failed.",
                                               "Release of device context failed.", "Unable to release hWnd.",
                                               "Unable to unregister class."}));
    EXPECT_EQ(hInstance, nullptr);  // forgotten after its failed unregistration
}

class CloseTwice : public AppTest {
protected:
    void OpenWindowed() {
        Answer("Start fullscreen?", platform::kIdNo);
        fullscreen = false;
        ASSERT_TRUE(OpenGameWindow(windowTitle, kWindowWidth, kWindowHeight, kWindowBitsPerPixel, false));
    }
};

TEST_F(CloseTwice, TheSecondCallReleasesNothingAgain) {
    OpenWindowed();
    CloseGameWindow();
    const std::size_t callsAfterFirst = Calls().size();
    CloseGameWindow();
    EXPECT_EQ(Calls().size(), callsAfterFirst);
    EXPECT_EQ(CountOf("DestroyGameWindow()"), 1);
    EXPECT_EQ(CountOf("UnregisterWindowClass()"), 1);
}

TEST_F(CloseTwice, AFailedUnregistrationIsToldOnceOnly) {
    OpenWindowed();
    Fail("UnregisterWindowClass");
    Fail("DestroyGameWindow");
    CloseGameWindow();
    CloseGameWindow();
    EXPECT_EQ(CountOf("ShowMessageBox(Shutdown Error)"), 2);  // hWnd and class, once each
    EXPECT_EQ(CountOf("UnregisterWindowClass()"), 1);
}

TEST_F(CloseTwice, WithOnlyTheClassRegisteredOnlyTheClassIsReleased) {
    hInstance = platform::GetOwnModule();
    ASSERT_TRUE(platform::RegisterWindowClass(hInstance));
    windowClassRegistered = true;
    fullscreen = false;
    Platform().calls.clear();
    CloseGameWindow();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"UnregisterWindowClass()"}));
}

}  // namespace
