// What the window procedure does with each message.
#include "tests/app/app_fixture.h"

#include "world/world_values.h"

namespace {

using platform::kWmSysCommand;

class WindowProcedure : public AppTest {
protected:
    static std::intptr_t Send(std::uint32_t message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0) {
        return WindowProc(nullptr, message, wParam, lParam);
    }
};

TEST_F(WindowProcedure, SizeResizesTheSceneToTheNewClientArea) {
    EXPECT_EQ(Send(platform::kWmSize, 0, 1152 | (864 << 16)), 0);
    EXPECT_EQ(Send(platform::kWmSize, 0, 0xFFFF | (0xFFFF << 16)), 0);
    // A height of 0 is passed on: the scene's own guard deals with it.
    EXPECT_EQ(Send(platform::kWmSize, 0, 640), 0);
    EXPECT_EQ(Scene().resizes, (std::vector<std::pair<int, int>>{{1152, 864}, {0xFFFF, 0xFFFF}, {640, 0}}));
    EXPECT_FALSE(Called("DefaultWindowProc(5,0)"));
}

TEST_F(WindowProcedure, ActivateFollowsOnlyTheMinimisedFlag) {
    constexpr std::uintptr_t kMinimised = std::uintptr_t{1} << 16;
    EXPECT_EQ(Send(platform::kWmActivate, 0 | kMinimised), 0);
    EXPECT_FALSE(windowActive);
    EXPECT_EQ(Send(platform::kWmActivate, 1), 0);  // restored and active
    EXPECT_TRUE(windowActive);
    EXPECT_EQ(Send(platform::kWmActivate, 2 | kMinimised), 0);
    EXPECT_FALSE(windowActive);
    EXPECT_EQ(Send(platform::kWmActivate, 0), 0);  // inactive but not minimised
    EXPECT_TRUE(windowActive);
}

TEST_F(WindowProcedure, CloseAsksTheLoopToQuitWithStatusZero) {
    EXPECT_EQ(Send(platform::kWmClose), 0);
    ASSERT_EQ(Platform().queue.size(), 1u);
    EXPECT_EQ(Platform().queue.front().message, platform::kWmQuit);
    EXPECT_EQ(Platform().queue.front().wParam, 0u);
    EXPECT_FALSE(Called("DestroyGameWindow()"));
}

TEST_F(WindowProcedure, KeysGoDownAndUpByVirtualKeyCode) {
    EXPECT_EQ(Send(platform::kWmKeyDown, kKeyS), 0);
    EXPECT_EQ(Send(platform::kWmKeyDown, 0xFF), 0);
    EXPECT_TRUE(keys[kKeyS]);
    EXPECT_TRUE(keys[0xFF]);
    EXPECT_EQ(Send(platform::kWmKeyUp, kKeyS), 0);
    EXPECT_FALSE(keys[kKeyS]);
    EXPECT_TRUE(keys[0xFF]);
}

TEST_F(WindowProcedure, KeyCodesBeyondTheTableAreIgnored) {
    bool before[kKeyCount];
    std::copy(std::begin(keys), std::end(keys), before);
    EXPECT_EQ(Send(platform::kWmKeyDown, 256), 0);
    EXPECT_EQ(Send(platform::kWmKeyDown, ~std::uintptr_t{0}), 0);
    EXPECT_EQ(Send(platform::kWmKeyUp, 0x10000), 0);
    EXPECT_TRUE(std::equal(std::begin(keys), std::end(keys), before));
}

TEST_F(WindowProcedure, SystemKeysGoToTheSystemAndOnlyTheirKeyUpsTouchTheKeyTable) {
    Platform().defaultWindowProcResult = 5;
    EXPECT_EQ(Send(platform::kWmSysKeyDown, kKeyW), 5);
    EXPECT_FALSE(keys[kKeyW]);
    // W held, then let go while Alt is down (Alt+Tab in a rally).
    keys[kKeyW] = true;
    keys[kKeyS] = true;
    EXPECT_EQ(Send(platform::kWmSysKeyUp, kKeyW), 5);
    EXPECT_FALSE(keys[kKeyW]);
    EXPECT_TRUE(keys[kKeyS]);
    EXPECT_EQ(Send(platform::kWmSysKeyUp, 0x10000), 5);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"DefaultWindowProc(260,87)", "DefaultWindowProc(261,87)",
                                                 "DefaultWindowProc(261,65536)"}));
}

TEST_F(WindowProcedure, LosingTheKeyboardLetsEveryHeldKeyGo) {
    constexpr std::uintptr_t kMinimised = std::uintptr_t{1} << 16;
    const auto holdKeys = [] {
        keys[kKeyW] = true;
        keys[kKeyUp] = true;
        keys[0xFF] = true;
    };
    const auto anyHeld = [] { return std::any_of(std::begin(keys), std::end(keys), [](bool down) { return down; }); };
    holdKeys();
    EXPECT_EQ(Send(platform::kWmActivate, platform::kWaActive), 0);
    EXPECT_TRUE(keys[kKeyW] && keys[kKeyUp] && keys[0xFF]);
    // Another window takes the focus: the frames go on, the keys are let go.
    EXPECT_EQ(Send(platform::kWmActivate, platform::kWaInactive), 0);
    EXPECT_TRUE(windowActive);
    EXPECT_FALSE(anyHeld());
    holdKeys();
    EXPECT_EQ(Send(platform::kWmActivate, platform::kWaInactive | kMinimised), 0);
    EXPECT_FALSE(windowActive);
    EXPECT_FALSE(anyHeld());
    // The keyboard focus goes without the activation; the system sees it too.
    holdKeys();
    Platform().defaultWindowProcResult = 3;
    EXPECT_EQ(Send(platform::kWmKillFocus), 3);
    EXPECT_FALSE(anyHeld());
    EXPECT_EQ(Calls(), (std::vector<std::string>{"DefaultWindowProc(8,0)"}));
}

TEST_F(WindowProcedure, ScreenSaverAndMonitorPowerCommandsAreSwallowed) {
    Platform().defaultWindowProcResult = 99;
    EXPECT_EQ(Send(kWmSysCommand, platform::kScScreenSave), 0);
    EXPECT_EQ(Send(kWmSysCommand, platform::kScMonitorPower, 2), 0);
    EXPECT_TRUE(Platform().calls.empty());
}

TEST_F(WindowProcedure, OtherSystemCommandsAndMessagesGoToTheDefaultProcedure) {
    Platform().defaultWindowProcResult = 42;
    constexpr std::uintptr_t kScClose = 0xF060;
    constexpr std::uint32_t kWmPaint = 0x000F;
    EXPECT_EQ(Send(kWmSysCommand, kScClose), 42);
    EXPECT_EQ(Send(kWmPaint), 42);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"DefaultWindowProc(274,61536)", "DefaultWindowProc(15,0)"}));
}

}  // namespace
