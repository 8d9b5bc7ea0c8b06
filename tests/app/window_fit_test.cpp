// The game window on screens too small for it: the largest client area that
// fits in the work area, and the projection set for the client area the
// window got.
#include "tests/app/app_fixture.h"

#include "app/window_fit.h"

namespace {

constexpr platform::ScreenRect kFrame{8, 31, 8, 8};  // a framed window's edges and caption

TEST(FitInWorkArea, PutsAWindowThatFitsAtTheWorkAreasCornerAndShrinksOneThatDoesNot) {
    // Exactly room for the frame around 1152x864, with the work area below a
    // panel: the caption stays clear of the panel.
    EXPECT_EQ(FitInWorkArea(1152, 864, {0, 24, 1168, 24 + 903}, kFrame), (WindowPlace{0, 24, 1152, 864}));
    // The right of two monitors.
    EXPECT_EQ(FitInWorkArea(1152, 864, {1366, 0, 3286, 1080}, kFrame), (WindowPlace{1366, 0, 1152, 864}));
    // A pixel short of that: at the work area's corner, one row less.
    EXPECT_EQ(FitInWorkArea(1152, 864, {0, 24, 1168, 24 + 902}, kFrame), (WindowPlace{0, 24, 1152, 863}));
    // 1280x800 with a wide dock on the left: both sides shrink.
    EXPECT_EQ(FitInWorkArea(1152, 864, {200, 0, 1280, 800}, kFrame), (WindowPlace{200, 0, 1064, 761}));
    // However small the screen, a client area remains.
    EXPECT_EQ(FitInWorkArea(1152, 864, {0, 0, 10, 20}, kFrame), (WindowPlace{0, 0, 1, 1}));
}

class SmallScreen : public AppTest {
protected:
    void Play(int workWidth, int workHeight) {
        Platform().workArea = {0, 0, workWidth, workHeight};
        CloseAfterFrames(1);
        ASSERT_EQ(GameMain(), 0);
    }
};

TEST_F(SmallScreen, AFramedWindowTakesTheWorkAreasHeightAndTheSceneIsSetForIt) {
    Answer("Start fullscreen?", platform::kIdNo);
    Play(1366, 768);
    EXPECT_TRUE(Called("CreateGameWindow(Zarvo,1152,729,overlapped)"));
    EXPECT_EQ(Scene().resizes.front(), std::make_pair(1152, 729));
}

TEST_F(SmallScreen, AWindowManagersFrameKnownOnceShownFitsTheWindowAgain) {
    Answer("Start fullscreen?", platform::kIdNo);
    Platform().frameKnownOnceShown = true;
    Play(1366, 768);
    EXPECT_TRUE(Called("CreateGameWindow(Zarvo,1152,768,overlapped)"));
    const auto shown = CallsAfter("ShowGameWindow()");
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), "PlaceGameWindow(1152,729)");
    EXPECT_EQ(Scene().resizes.front(), std::make_pair(1152, 729));
}

TEST_F(SmallScreen, TheBorderlessFallbackWindowFitsToo) {
    Answer("Zarvo", platform::kIdYes);
    Fail("ChangeDisplayMode");
    Play(1280, 800);
    EXPECT_TRUE(Called("CreateGameWindow(Zarvo,1152,800,popup)"));
    EXPECT_EQ(Scene().resizes.front(), std::make_pair(1152, 800));
}

TEST_F(SmallScreen, AWindowInTheChangedDisplayModeIsTheWholeScreen) {
    // In the 1152x864 mode a task bar leaves a smaller work area: the
    // fullscreen window covers it all the same.
    Play(1152, 824);
    EXPECT_TRUE(Called("CreateGameWindow(Zarvo,1152,864,popup)"));
    EXPECT_FALSE(Called("PlaceGameWindow(1152,864)"));
    EXPECT_EQ(Scene().resizes.front(), std::make_pair(1152, 864));
}

// Another program sets the display to 1024x768 during play.
class DisplayChange : public AppTest {
protected:
    void PlayAndChange(platform::ScreenRect monitor, platform::ScreenRect work) {
        Platform().onSwap = [=](int swaps) {
            if (swaps == 1) {
                Platform().monitor = monitor;
                Platform().workArea = work;
                testplatform::Post(platform::kWmDisplayChange);
            } else if (swaps == 2) {
                testplatform::Post(platform::kWmClose);
            }
        };
        ASSERT_EQ(GameMain(), 0);
    }
};

TEST_F(DisplayChange, TheFullscreenWindowCoversTheNewScreen) {
    PlayAndChange({0, 0, 1024, 768}, {0, 0, 1024, 740});
    EXPECT_TRUE(Called("PlaceGameWindow(1024,768)"));
    EXPECT_EQ(Scene().resizes.back(), std::make_pair(1024, 768));
}

TEST_F(DisplayChange, AWindowFitsInTheNewWorkArea) {
    Answer("Start fullscreen?", platform::kIdNo);
    PlayAndChange({0, 0, 1024, 768}, {0, 0, 1024, 768});
    EXPECT_TRUE(Called("PlaceGameWindow(1008,729)"));
    EXPECT_EQ(Scene().resizes.back(), std::make_pair(1008, 729));
}

TEST_F(DisplayChange, AMaximisedWindowIsLeftToTheWindowManager) {
    Answer("Start fullscreen?", platform::kIdNo);
    Platform().windowMaximised = true;
    PlayAndChange({0, 0, 1024, 768}, {0, 0, 1024, 768});
    EXPECT_FALSE(Called("PlaceGameWindow(1008,729)"));
}

TEST_F(DisplayChange, AWindowThatStillFitsStaysWhereThePlayerPutIt) {
    Answer("Start fullscreen?", platform::kIdNo);
    PlayAndChange({0, 0, 1600, 1200}, {0, 0, 1600, 1200});
    EXPECT_FALSE(Called("PlaceGameWindow(1152,864)"));
}

}  // namespace
