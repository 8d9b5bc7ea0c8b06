// The Win32 backend's services that need no display, run under Wine: bitmap
// resources, the multimedia timer, the thread's message queue, the window
// class and sound; and what the program's manifest makes of the process.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "resources/resource_ids.h"

// The backend's WinMain calls GameMain and its window class calls WindowProc;
// this program uses neither.
int GameMain() { return 0; }
std::intptr_t WindowProc(platform::Window*, std::uint32_t, std::uintptr_t, std::intptr_t) { return 0; }

namespace {

using namespace std::chrono_literals;

// Polls until condition holds or timeout passes; returns whether it held.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

struct PictureSize {
    int id;
    int width;
    int height;
};

constexpr PictureSize kPictures[] = {{IDB_BALL, 32, 32},        {IDB_TITLE, 512, 512},    {IDB_EXIT_HINT, 128, 128},
                                     {IDB_LEFT_KEYS, 128, 128}, {IDB_PADDLE, 20, 76},     {IDB_RIGHT_KEYS, 128, 128},
                                     {IDB_WHITE, 64, 64}};

// The resource's own bytes: the 40-byte header, then the pixel rows.
const std::uint8_t* RawResource(int id, DWORD* size) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2));
    if (info == nullptr) {
        return nullptr;
    }
    *size = SizeofResource(module, info);
    return static_cast<const std::uint8_t*>(LockResource(LoadResource(module, info)));
}

TEST(BitmapResources, EachLoadsWithItsSizeAndStoredRows) {
    platform::Module* module = platform::GetOwnModule();
    for (const PictureSize& picture : kPictures) {
        SCOPED_TRACE(picture.id);
        platform::Bitmap bitmap;
        ASSERT_TRUE(platform::LoadBitmapResource(module, picture.id, &bitmap));
        EXPECT_EQ(bitmap.width, picture.width);
        EXPECT_EQ(bitmap.height, picture.height);
        ASSERT_NE(bitmap.bits, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(bitmap.bits) % 4, 0u);

        DWORD size = 0;
        const std::uint8_t* raw = RawResource(picture.id, &size);
        ASSERT_NE(raw, nullptr);
        const std::size_t rowBytes = (static_cast<std::size_t>(picture.width) * 3 + 3) / 4 * 4;
        const std::size_t pixelBytes = rowBytes * static_cast<std::size_t>(picture.height);
        ASSERT_GE(size, 40 + pixelBytes);
        // Bottom row first, blue-green-red, rows on 4-byte boundaries: the
        // stored layout, unchanged.
        EXPECT_EQ(std::memcmp(bitmap.bits, raw + 40, pixelBytes), 0);

        platform::FreeBitmapResource(&bitmap);
        EXPECT_EQ(bitmap.bits, nullptr);
        EXPECT_EQ(bitmap.handle, nullptr);
    }
}

TEST(BitmapResources, WhitePictureIsWhite) {
    platform::Bitmap bitmap;
    ASSERT_TRUE(platform::LoadBitmapResource(platform::GetOwnModule(), IDB_WHITE, &bitmap));
    for (int i = 0; i < 64 * 64 * 3; ++i) {
        ASSERT_EQ(bitmap.bits[i], 255) << "byte " << i;
    }
    platform::FreeBitmapResource(&bitmap);
}

TEST(BitmapResources, UnknownIdFails) {
    platform::Bitmap bitmap;
    EXPECT_FALSE(platform::LoadBitmapResource(platform::GetOwnModule(), 121, &bitmap));
    EXPECT_FALSE(platform::LoadBitmapResource(platform::GetOwnModule(), 1, &bitmap));
    EXPECT_EQ(bitmap.bits, nullptr);
}

// ---- Multimedia timer --------------------------------------------------------

std::atomic<int> ticks{0};
std::atomic<std::uint32_t> tickTimerId{0};
std::atomic<std::uintptr_t> tickUser{0};
std::atomic<DWORD> tickThread{0};
std::atomic<bool> insideSlowTick{false};

void CountTick(std::uint32_t timerId, std::uint32_t, std::uintptr_t user, std::uintptr_t, std::uintptr_t) {
    tickTimerId = timerId;
    tickUser = user;
    tickThread = GetCurrentThreadId();
    ticks += 1;
}

void SlowTick(std::uint32_t, std::uint32_t, std::uintptr_t, std::uintptr_t, std::uintptr_t) {
    insideSlowTick = true;
    ticks += 1;
    std::this_thread::sleep_for(300ms);
    insideSlowTick = false;
}

class Timer : public ::testing::Test {
protected:
    void SetUp() override {
        ticks = 0;
        tickTimerId = 0;
        tickUser = 0;
        tickThread = 0;
        ASSERT_EQ(platform::TimeGetDevCaps(&caps, sizeof caps), platform::kTimerrNoError);
        ASSERT_EQ(platform::TimeBeginPeriod(caps.wPeriodMin), platform::kTimerrNoError);
    }
    void TearDown() override { EXPECT_EQ(platform::TimeEndPeriod(caps.wPeriodMin), platform::kTimerrNoError); }

    platform::TimerCaps caps;
};

TEST_F(Timer, DeviceCapsAreSane) {
    EXPECT_GE(caps.wPeriodMin, 1u);
    EXPECT_GE(caps.wPeriodMax, caps.wPeriodMin);
    // Windows and Wine report a wrong size as TIMERR_NOCANDO, not TIMERR_STRUCT.
    platform::TimerCaps tooSmall;
    EXPECT_NE(platform::TimeGetDevCaps(&tooSmall, 4), platform::kTimerrNoError);
}

TEST_F(Timer, PeriodicCallbackGetsItsIdAndUserDataOnAnotherThread) {
    const std::uint32_t id =
        platform::TimeSetEvent(20, caps.wPeriodMin, CountTick, 1234, platform::kTimePeriodic);
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(WaitFor([] { return ticks >= 3; }, 5s)) << ticks;
    EXPECT_EQ(platform::TimeKillEvent(id), platform::kTimerrNoError);
    EXPECT_EQ(tickTimerId, id);
    EXPECT_EQ(tickUser, 1234u);
    EXPECT_NE(tickThread, GetCurrentThreadId());

    // Stopped means stopped: a few periods later no tick has come.
    const int stoppedAt = ticks;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(ticks, stoppedAt);
}

TEST_F(Timer, KillWaitsForARunningCallback) {
    const std::uint32_t id = platform::TimeSetEvent(10, caps.wPeriodMin, SlowTick, 0, platform::kTimePeriodic);
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(WaitFor([] { return insideSlowTick.load(); }, 5s));
    EXPECT_EQ(platform::TimeKillEvent(id), platform::kTimerrNoError);
    EXPECT_FALSE(insideSlowTick) << "TimeKillEvent returned while a callback was running";
}

TEST_F(Timer, EventsCanBeStartedAndStoppedAgainAndAgain) {
    for (int round = 0; round < 10; ++round) {
        ticks = 0;
        const std::uint32_t id = platform::TimeSetEvent(5, caps.wPeriodMin, CountTick, round, platform::kTimePeriodic);
        ASSERT_NE(id, 0u) << "round " << round;
        EXPECT_TRUE(WaitFor([] { return ticks >= 1; }, 5s));
        EXPECT_EQ(platform::TimeKillEvent(id), platform::kTimerrNoError);
        EXPECT_EQ(tickUser, static_cast<std::uintptr_t>(round));
    }
}

// ---- Messages, window class, sound -----------------------------------------

TEST(MessageQueue, QuitMessageCarriesTheExitCode) {
    platform::Message message;
    while (platform::PeekNextMessage(&message)) {
    }
    platform::PostQuit(27);
    ASSERT_TRUE(platform::PeekNextMessage(&message));
    EXPECT_EQ(message.message, platform::kWmQuit);
    EXPECT_EQ(message.wParam, 27u);
    EXPECT_EQ(message.window, nullptr);
    EXPECT_FALSE(platform::PeekNextMessage(&message));
}

TEST(WindowClass, RegistersTheGameClassOnce) {
    platform::Module* module = platform::GetOwnModule();
    ASSERT_EQ(reinterpret_cast<HMODULE>(module), GetModuleHandleA(nullptr));
    ASSERT_TRUE(platform::RegisterWindowClass(module));
    EXPECT_FALSE(platform::RegisterWindowClass(module)) << "the class exists already";

    WNDCLASSA found;
    ASSERT_TRUE(GetClassInfoA(reinterpret_cast<HINSTANCE>(module), "OpenGL", &found));
    EXPECT_EQ(found.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW | CS_OWNDC));
    EXPECT_EQ(found.cbClsExtra, 0);
    EXPECT_EQ(found.cbWndExtra, 0);
    EXPECT_NE(found.lpfnWndProc, nullptr);
    EXPECT_EQ(found.hIcon, LoadIconA(nullptr, IDI_WINLOGO));
    EXPECT_EQ(found.hCursor, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(found.hbrBackground, nullptr);
    EXPECT_EQ(found.lpszMenuName, nullptr);

    EXPECT_TRUE(platform::UnregisterWindowClass(module));
    EXPECT_FALSE(platform::UnregisterWindowClass(module)) << "the class is gone already";
}

// The tests run under Wine with no display (tests/wine/wine-run.sh), where no
// box can be shown.
TEST(QuestionBox, ThatCannotBeShownPrintsTheSystemsReasonAndTakesTheDefault) {
    if (std::getenv("DISPLAY") != nullptr) {
        GTEST_SKIP() << "with a display the box would wait for an answer";
    }
    ::testing::internal::CaptureStderr();
    const int answer = platform::ShowMessageBox("Is the right paddle computer controlled?", "Right AI",
                                                platform::kMbYesNo | platform::kMbIconQuestion | platform::kMbDefButton2);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, platform::kIdNo);
    const std::string line = "Right AI: Is the right paddle computer controlled? "
                             "[answered No: the box could not be shown: ";
    ASSERT_EQ(printed.rfind(line, 0), 0u) << printed;
    // The system's text, then its code: "<text> (error <code>)]".
    const std::string reason = printed.substr(line.size());
    const std::size_t code = reason.rfind(" (error ");
    ASSERT_NE(code, std::string::npos) << printed;
    EXPECT_GT(code, 0u) << "no text for the error: " << printed;
    EXPECT_NE(reason.substr(code), " (error 0)]\n") << printed;
    EXPECT_EQ(reason.substr(reason.size() - 2), "]\n") << printed;
}

TEST(Sound, PlayingReturnsAtOnce) {
    const auto start = std::chrono::steady_clock::now();
    platform::PlaySoundFile("no-such-sound.wav");
    platform::PlaySoundFile("miss.wav");  // beside the program: half a second long
    EXPECT_LT(std::chrono::steady_clock::now() - start, 400ms);
}

// ---- Manifest ----------------------------------------------------------------

// A setting of the manifest as the loader read it into the process's
// activation context; empty when there is none.
std::wstring ManifestSetting(const wchar_t* schema, const wchar_t* name) {
    wchar_t value[64] = {};
    if (!QueryActCtxSettingsW(0, nullptr, schema, name, value, std::size(value), nullptr)) {
        return {};
    }
    return value;
}

// Its window sizes are screen pixels at every scaling setting: Windows must not
// stretch the game window. The manifest asks for per-monitor v2, then v1 for
// Windows 10 before 1703, and dpiAware for the systems before 1607. Wine 8
// cannot grant v2 and leaves every program per-monitor aware unless told to
// scale (DpiScalingVer): either way the awareness is per-monitor.
TEST(Manifest, MakesTheProcessPerMonitorDpiAware) {
    EXPECT_EQ(ManifestSetting(L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness"),
              L"PerMonitorV2, PerMonitor");
    EXPECT_EQ(ManifestSetting(L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware"), L"true/pm");
    EXPECT_EQ(GetAwarenessFromDpiAwarenessContext(GetThreadDpiAwarenessContext()),
              DPI_AWARENESS_PER_MONITOR_AWARE);
}

}  // namespace
