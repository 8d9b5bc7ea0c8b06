// The three start-up questions, the fallback question and what each answer
// does to the window that opens.
#include "tests/app/app_fixture.h"

#include <ostream>

#include "world/world_values.h"

namespace {

using platform::kIdCancel;
using platform::kIdNo;
using platform::kIdYes;

class StartUp : public AppTest {
protected:
    // A framed window opened, and the display and the cursor were left alone
    // from start to teardown.
    static void ExpectAFramedWindowOverAnUntouchedDesktop() {
        EXPECT_FALSE(fullscreen);
        EXPECT_TRUE(Called("CreateGameWindow(Zarvo,1152,864,overlapped)"));
        EXPECT_FALSE(Called("ShowMouseCursor(false)"));
        EXPECT_FALSE(Called("RestoreDisplayMode()"));
    }
};

TEST_F(StartUp, AsksTheThreeQuestionsInOrderWithTheirTextsAndButtons) {
    CloseAfterFrames(1);
    ASSERT_EQ(GameMain(), 0);
    const auto& boxes = Platform().messageBoxes;
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(Shown(boxes[0]), (ShownBox{"Start fullscreen?", "Would you like to run in fullscreen mode?",
                                         platform::kMbYesNo | platform::kMbIconQuestion}));
    EXPECT_EQ(Shown(boxes[1]), (ShownBox{"Left AI", "Is the left paddle computer controlled?",
                                         platform::kMbYesNo | platform::kMbIconQuestion}));
    EXPECT_EQ(Shown(boxes[2]),
              (ShownBox{"Right AI", "Is the right paddle computer controlled?",
                        platform::kMbYesNo | platform::kMbIconQuestion | platform::kMbDefButton2}));
    // The fullscreen question comes before the class is registered, the
    // other two after it.
    EXPECT_EQ(Calls().front(), "ShowMessageBox(Start fullscreen?)");
    EXPECT_EQ(Calls()[1], "RegisterWindowClass()");
}

TEST_F(StartUp, DefaultAnswersGiveAComputerOnTheLeftAndAPlayerOnTheRight) {
    CloseAfterFrames(1);
    GameMain();
    EXPECT_TRUE(leftComputer);
    EXPECT_FALSE(rightComputer);
}

struct SidesCase {
    int left;
    int right;
    bool leftComputer;
    bool rightComputer;
};

void PrintTo(const SidesCase& answers, std::ostream* out) {
    *out << (answers.left == kIdYes ? "Left" : "NoLeft") << (answers.right == kIdYes ? "Right" : "NoRight");
}

class ComputerSides : public AppTest, public ::testing::WithParamInterface<SidesCase> {};

TEST_P(ComputerSides, FollowTheAnswers) {
    Answer("Left AI", GetParam().left);
    Answer("Right AI", GetParam().right);
    CloseAfterFrames(1);
    GameMain();
    EXPECT_EQ(leftComputer, GetParam().leftComputer);
    EXPECT_EQ(rightComputer, GetParam().rightComputer);
}

INSTANTIATE_TEST_SUITE_P(AllAnswers, ComputerSides,
                         ::testing::Values(SidesCase{kIdYes, kIdYes, true, true}, SidesCase{kIdYes, kIdNo, true, false},
                                           SidesCase{kIdNo, kIdYes, false, true},
                                           SidesCase{kIdNo, kIdNo, false, false}),
                         [](const ::testing::TestParamInfo<SidesCase>& info) { return ::testing::PrintToString(info.param); });

TEST_F(StartUp, NoToFullscreenOpensAFramedWindowWithoutTouchingTheDisplay) {
    Answer("Start fullscreen?", kIdNo);
    CloseAfterFrames(1);
    GameMain();
    ExpectAFramedWindowOverAnUntouchedDesktop();
    EXPECT_FALSE(Called("ChangeDisplayMode(1152,864,32)"));
}

TEST_F(StartUp, YesToFullscreenChangesTheModeAndHidesTheCursorUntilTeardown) {
    CloseAfterFrames(1);
    GameMain();
    EXPECT_TRUE(fullscreen);
    const std::vector<std::string> opening(Calls().begin(), Calls().begin() + 6);
    EXPECT_EQ(opening, (std::vector<std::string>{"ShowMessageBox(Start fullscreen?)", "RegisterWindowClass()",
                                                 "ShowMessageBox(Left AI)", "ShowMessageBox(Right AI)",
                                                 "ChangeDisplayMode(1152,864,32)", "ShowMouseCursor(false)"}));
    EXPECT_TRUE(Called("CreateGameWindow(Zarvo,1152,864,popup)"));
    // Teardown begins by giving the desktop its mode and cursor back.
    const auto teardown = CallsAfter("TimeEndPeriod(1)");
    ASSERT_GE(teardown.size(), 2u);
    EXPECT_EQ(teardown[0], "RestoreDisplayMode()");
    EXPECT_EQ(teardown[1], "ShowMouseCursor(true)");
    EXPECT_FALSE(Platform().displayModeChanged);
    EXPECT_TRUE(Platform().cursorShown);
}

TEST_F(StartUp, OpensTheWindowStepByStepThenSetsTheProjectionAndTheScene) {
    Answer("Start fullscreen?", kIdNo);
    Platform().onSwap = [](int) { testplatform::Post(platform::kWmClose); };
    GameMain();
    const auto afterQuestions = CallsAfter("ShowMessageBox(Right AI)");
    const std::vector<std::string> opening(afterQuestions.begin(), afterQuestions.begin() + 7);
    EXPECT_EQ(opening, (std::vector<std::string>{"CreateGameWindow(Zarvo,1152,864,overlapped)", "GetDeviceContext()",
                                                 "ChooseGlPixelFormat(32,16)", "SetGlPixelFormat(1)",
                                                 "CreateGlContext()", "MakeGlContextCurrent(game)",
                                                 "ShowGameWindow()"}));
    ASSERT_FALSE(Scene().resizes.empty());
    EXPECT_EQ(Scene().resizes.front(), std::make_pair(1152, 864));
    EXPECT_EQ(Scene().initCalls, 1);
}

TEST_F(StartUp, TheWindowTitleIsACopyOfZarvo) {
    EXPECT_STREQ(windowTitle.Text(), "Zarvo");
    EXPECT_EQ(windowTitle.Length(), 5);
    const OwnedString copy(windowTitle);
    EXPECT_STREQ(copy.Text(), "Zarvo");
    EXPECT_EQ(copy.Length(), 5);
    EXPECT_NE(copy.Text(), windowTitle.Text());  // every copy owns its buffer
}

class Fallback : public StartUp {
protected:
    void SetUp() override {
        StartUp::SetUp();
        Fail("ChangeDisplayMode");
    }
};

TEST_F(Fallback, AsksUnderTheWindowTitleWithThreeButtons) {
    CloseAfterFrames(1);
    GameMain();
    const auto& boxes = Platform().messageBoxes;
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(Shown(boxes[3]),
              (ShownBox{"Zarvo", kFallbackText, platform::kMbYesNoCancel | platform::kMbIconQuestion}));
}

TEST_F(Fallback, NoOpensAFramedWindow) {
    Answer("Zarvo", kIdNo);
    CloseAfterFrames(1);
    EXPECT_EQ(GameMain(), 0);
    ExpectAFramedWindowOverAnUntouchedDesktop();
    EXPECT_EQ(Platform().swaps, 1);
}

TEST_F(Fallback, CancelSaysTheProgramWillCloseAndEndsItWithoutTeardown) {
    Answer("Zarvo", kIdCancel);
    EXPECT_EQ(GameMain(), 0);
    const auto& boxes = Platform().messageBoxes;
    ASSERT_EQ(boxes.size(), 5u);
    EXPECT_EQ(Shown(boxes[4]),
              (ShownBox{"Error", "Program will now close.", platform::kMbOk | platform::kMbIconWarning}));
    EXPECT_EQ(Calls().back(), "ShowMessageBox(Error)");
    EXPECT_FALSE(Called("CreateGameWindow(Zarvo,1152,864,popup)"));
    EXPECT_FALSE(Called("UnregisterWindowClass()"));
    EXPECT_FALSE(Called("TimeKillEvent(0)"));
    EXPECT_EQ(Platform().swaps, 0);
}

TEST_F(Fallback, YesOpensABorderlessWindowWithoutAskingForTheModeAgain) {
    Answer("Zarvo", kIdYes);
    CloseAfterFrames(1);
    EXPECT_EQ(GameMain(), 0);
    EXPECT_TRUE(Called("CreateGameWindow(Zarvo,1152,864,popup)"));
    EXPECT_EQ(CountOf("ChangeDisplayMode(1152,864,32)"), 1);
    EXPECT_TRUE(Called("ShowMouseCursor(false)"));
    // Teardown still restores the stored mode and shows the cursor.
    EXPECT_TRUE(Called("RestoreDisplayMode()"));
    EXPECT_TRUE(Platform().cursorShown);
}

}  // namespace
