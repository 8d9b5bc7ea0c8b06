// The Linux backend's services that need no window: the periodic timer, WAV
// playback, the message box's answer when no display is there, and the
// message pump over events pushed into SDL's queue.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/sdl/sdl_backend.h"
#include "platform/sdl/sdl_window.h"

// The backend's sources are linked in without the game.
int GameMain() { return 0; }
// The messages the window procedure was handed, as "message,wParam".
std::vector<std::string> windowProcCalls;
std::intptr_t WindowProc(platform::Window*, std::uint32_t message, std::uintptr_t wParam, std::intptr_t) {
    windowProcCalls.push_back(std::to_string(message) + "," + std::to_string(wParam));
    return 0;
}

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Waits up to the timeout for the condition; true when it came true.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout = 5000ms) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

// ---- Timer -----------------------------------------------------------------

struct TickLog {
    std::atomic<int> ticks{0};
    std::atomic<bool> onOtherThread{true};
    std::thread::id mainThread = std::this_thread::get_id();
    std::atomic<bool> insideTick{false};
    std::atomic<bool> tickFinished{false};
};

void CountTick(std::uint32_t, std::uint32_t, std::uintptr_t user, std::uintptr_t, std::uintptr_t) {
    auto* log = reinterpret_cast<TickLog*>(user);
    if (std::this_thread::get_id() == log->mainThread) {
        log->onOtherThread = false;
    }
    log->ticks += 1;
}

void SlowTick(std::uint32_t, std::uint32_t, std::uintptr_t user, std::uintptr_t, std::uintptr_t) {
    auto* log = reinterpret_cast<TickLog*>(user);
    log->insideTick = true;
    std::this_thread::sleep_for(200ms);  // a tick that is still running when the kill comes
    log->tickFinished = true;
}

void SelfKillingTick(std::uint32_t id, std::uint32_t, std::uintptr_t user, std::uintptr_t, std::uintptr_t) {
    auto* log = reinterpret_cast<TickLog*>(user);
    log->ticks += 1;
    platform::TimeKillEvent(id);
}

TEST(SdlTimer, ReportsTheRangeOfPeriodsItKeepsTo) {
    platform::TimerCaps caps;
    EXPECT_EQ(platform::TimeGetDevCaps(&caps, sizeof caps), platform::kTimerrNoError);
    EXPECT_EQ(caps.wPeriodMin, 1u);
    EXPECT_EQ(caps.wPeriodMax, 1000000u);
    EXPECT_EQ(platform::TimeGetDevCaps(&caps, 4), platform::kTimerrStruct);
    EXPECT_EQ(platform::TimeGetDevCaps(nullptr, sizeof caps), platform::kTimerrStruct);
    EXPECT_EQ(platform::TimeBeginPeriod(1), platform::kTimerrNoError);
    EXPECT_EQ(platform::TimeEndPeriod(1), platform::kTimerrNoError);
    EXPECT_EQ(platform::TimeBeginPeriod(0), platform::kTimerrNoCanDo);
}

TEST(SdlTimer, APeriodicEventTicksOnItsOwnThreadUntilKilled) {
    TickLog log;
    const std::uint32_t id =
        platform::TimeSetEvent(10, 1, CountTick, reinterpret_cast<std::uintptr_t>(&log), platform::kTimePeriodic);
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(WaitFor([&] { return log.ticks >= 5; }));
    EXPECT_EQ(platform::TimeKillEvent(id), platform::kTimerrNoError);
    const int ticksAtKill = log.ticks;
    std::this_thread::sleep_for(50ms);  // five more periods: none may come
    EXPECT_EQ(log.ticks, ticksAtKill);
    EXPECT_TRUE(log.onOtherThread);
    EXPECT_NE(platform::TimeKillEvent(id), platform::kTimerrNoError);  // already gone
}

TEST(SdlTimer, KillReturnsOnlyAfterARunningTickHasFinished) {
    TickLog log;
    const std::uint32_t id =
        platform::TimeSetEvent(1, 1, SlowTick, reinterpret_cast<std::uintptr_t>(&log), platform::kTimePeriodic);
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(WaitFor([&] { return log.insideTick.load(); }));
    platform::TimeKillEvent(id);
    EXPECT_TRUE(log.tickFinished);
}

TEST(SdlTimer, AnEventKilledFromItsOwnTickStops) {
    TickLog log;
    const std::uint32_t id = platform::TimeSetEvent(5, 1, SelfKillingTick, reinterpret_cast<std::uintptr_t>(&log),
                                                    platform::kTimePeriodic);
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(WaitFor([&] { return log.ticks >= 1; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(log.ticks, 1);
    EXPECT_NE(platform::TimeKillEvent(id), platform::kTimerrNoError);
}

TEST(SdlTimer, AOneShotEventTicksOnce) {
    TickLog log;
    const std::uint32_t id = platform::TimeSetEvent(5, 1, CountTick, reinterpret_cast<std::uintptr_t>(&log), 0);
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(WaitFor([&] { return log.ticks >= 1; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(log.ticks, 1);
    platform::TimeKillEvent(id);
}

TEST(SdlTimer, RefusesEventsItCannotKeep) {
    EXPECT_EQ(platform::TimeSetEvent(0, 1, CountTick, 0, platform::kTimePeriodic), 0u);
    EXPECT_EQ(platform::TimeSetEvent(1000, 1, nullptr, 0, platform::kTimePeriodic), 0u);
}

TEST(SdlTimer, StopAllTimersStopsEveryEventLeftRunning) {
    TickLog log;
    const auto user = reinterpret_cast<std::uintptr_t>(&log);
    ASSERT_NE(platform::TimeSetEvent(5, 1, CountTick, user, platform::kTimePeriodic), 0u);
    ASSERT_NE(platform::TimeSetEvent(7, 1, CountTick, user, platform::kTimePeriodic), 0u);
    ASSERT_TRUE(WaitFor([&] { return log.ticks >= 4; }));
    sdlbackend::StopAllTimers();
    const int ticksAtStop = log.ticks;
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(log.ticks, ticksAtStop);
}

// ---- Sound -----------------------------------------------------------------

class SdlSound : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        sdlbackend::OpenSoundDevice();
    }
    static void TearDownTestSuite() { sdlbackend::CloseSoundDevice(); }

    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("zarvo-sound-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder);
        for (const char* name : {"miss.wav", "tbhit.wav", "rlhit.wav"}) {
            fs::copy_file(fs::path(ZARVO_RESOURCES_DIR) / name, folder / name);
        }
        previous = fs::current_path();
        fs::current_path(folder);
    }
    void TearDown() override {
        fs::current_path(previous);
        fs::remove_all(folder);
    }

    static void Write(const char* name, const std::string& bytes) { std::ofstream(name, std::ios::binary) << bytes; }
    // A WAV file of sampleBytes of silent 16-bit mono samples at 44100 Hz.
    static void WriteSilence(const char* name, std::uint32_t sampleBytes) {
        std::string wav("RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x44\xac\0\0\x88\x58\x01\0\x02\0\x10\0data\0\0\0\0", 44);
        const auto putSize = [&](std::size_t at, std::uint32_t size) {
            for (int i = 0; i < 4; ++i) wav[at + i] = static_cast<char>(size >> (8 * i));
        };
        putSize(4, 36 + sampleBytes);
        putSize(40, sampleBytes);
        wav.resize(wav.size() + sampleBytes);
        Write(name, wav);
    }

    fs::path folder;
    fs::path previous;
};

TEST_F(SdlSound, AWavFileIsQueuedInTheDeviceFormat) {
    const std::uint32_t bytes = sdlbackend::SoundBytes("tbhit.wav");
    // 16-bit mono samples are at least as many bytes in any device format.
    EXPECT_GE(bytes, fs::file_size("tbhit.wav") - 44);
    platform::PlaySoundFile("tbhit.wav");
    EXPECT_GT(sdlbackend::QueuedSoundBytes(), 0u);
    EXPECT_LE(sdlbackend::QueuedSoundBytes(), bytes);
}

TEST_F(SdlSound, ANewSoundCutsOffTheOnePlaying) {
    const std::uint32_t rlhitBytes = sdlbackend::SoundBytes("rlhit.wav");
    sdlbackend::SoundBytes("miss.wav");  // loaded, so that it plays at once
    platform::PlaySoundFile("miss.wav");
    ASSERT_GT(sdlbackend::QueuedSoundBytes(), rlhitBytes);
    platform::PlaySoundFile("rlhit.wav");
    EXPECT_LE(sdlbackend::QueuedSoundBytes(), rlhitBytes);
}

TEST_F(SdlSound, AFileIsReadOffTheCallerAndPlaysOnceReady) {
    WriteSilence("large.wav", 9'500'000);  // close to the size limit

    sdlbackend::SoundBytes("miss.wav");
    platform::PlaySoundFile("miss.wav");
    const std::uint32_t missQueued = sdlbackend::QueuedSoundBytes();
    sdlbackend::HoldSoundLoading(true);
    platform::PlaySoundFile("large.wav");  // returns with the file unread
    EXPECT_GT(sdlbackend::QueuedSoundBytes(), 0u);
    EXPECT_LE(sdlbackend::QueuedSoundBytes(), missQueued);
    sdlbackend::HoldSoundLoading(false);
    EXPECT_TRUE(WaitFor([&] { return sdlbackend::QueuedSoundBytes() > missQueued; }));
}

TEST_F(SdlSound, UnplayableFilesAreSilentAndLeaveThePlayingSoundAlone) {
    Write("empty.wav", "");
    Write("garbage.wav", std::string(5000, 'x'));
    Write("header-only.wav", std::string("RIFF\x24\x00\x00\x00WAVEfmt ", 16));
    fs::create_directory("folder.wav");
    ASSERT_EQ(mkfifo("pipe.wav", 0600), 0);  // opening it to read would block
    {
        std::ofstream huge("huge.wav", std::ios::binary);
        huge << std::ifstream("miss.wav", std::ios::binary).rdbuf();
    }
    fs::resize_file("huge.wav", 11 * 1024 * 1024);
    // 2000 bytes of 8-bit mono at 1 Hz: hundreds of megabytes in the device's format.
    std::string slow("RIFF\xf4\x07\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x01\0\0\0\x01\0\0\0\x01\0\x08\0data\xd0\x07\0\0", 44);
    slow.resize(44 + 2000, '\x80');
    Write("slow.wav", slow);

    sdlbackend::SoundBytes("miss.wav");
    platform::PlaySoundFile("miss.wav");
    for (const char* name : {"missing.wav", "empty.wav", "garbage.wav", "header-only.wav", "folder.wav", "pipe.wav",
                             "huge.wav", "slow.wav"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(sdlbackend::SoundBytes(name), 0u);
        const std::uint32_t queuedBefore = sdlbackend::QueuedSoundBytes();
        platform::PlaySoundFile(name);
        EXPECT_GT(sdlbackend::QueuedSoundBytes(), 0u);
        EXPECT_LE(sdlbackend::QueuedSoundBytes(), queuedBefore);
    }
}

// The id of the one audio device SDL has open: SDL 2 gives out small ones.
SDL_AudioDeviceID OpenAudioDevice() {
    for (SDL_AudioDeviceID id = 1; id < 64; ++id) {
        if (SDL_GetAudioDeviceStatus(id) != SDL_AUDIO_STOPPED) {
            return id;
        }
    }
    return 0;
}

void PushRemoval(SDL_AudioDeviceID which) {
    SDL_Event removed{};
    removed.adevice.type = SDL_AUDIODEVICEREMOVED;
    removed.adevice.which = which;
    ASSERT_EQ(SDL_PushEvent(&removed), 1) << SDL_GetError();
}

// What the main thread does at each message.
template <typename Condition>
bool TendUntil(Condition condition, std::chrono::milliseconds timeout = 5000ms) {
    return WaitFor([&] {
        sdlbackend::TendSoundDevice();
        return condition();
    }, timeout);
}

TEST_F(SdlSound, OnlyItsOwnDeviceLostIsClosedAndReplaced) {
    WriteSilence("long.wav", 2 * 44100 * 10);  // ten seconds
    ASSERT_GT(sdlbackend::SoundBytes("long.wav"), 0u);
    platform::PlaySoundFile("long.wav");
    ASSERT_GT(sdlbackend::QueuedSoundBytes(), 0u);
    PushRemoval(0);  // another device, unplugged
    EXPECT_FALSE(TendUntil([] { return sdlbackend::QueuedSoundBytes() == 0; }, 200ms))
        << "another device's removal cut the sound";
    PushRemoval(OpenAudioDevice());
    EXPECT_TRUE(TendUntil([] { return sdlbackend::QueuedSoundBytes() == 0; })) << "the lost device is still playing";
    EXPECT_TRUE(TendUntil([] {
        platform::PlaySoundFile("tbhit.wav");
        return sdlbackend::QueuedSoundBytes() > 0;
    })) << "no device replaced the lost one";
}

TEST_F(SdlSound, AWaitForAFileEndsWhenTheDeviceIsLost) {
    WriteSilence("unread.wav", 1000);
    sdlbackend::HoldSoundLoading(true);
    auto bytes = std::async(std::launch::async, [] { return sdlbackend::SoundBytes("unread.wav"); });
    ASSERT_EQ(bytes.wait_for(100ms), std::future_status::timeout) << "the file was ready while its loading was held";
    PushRemoval(OpenAudioDevice());
    const auto ended = [&] { return bytes.wait_for(0s) == std::future_status::ready; };
    const bool endedWithTheDevice = TendUntil(ended);
    sdlbackend::HoldSoundLoading(false);
    ASSERT_TRUE(TendUntil(ended, 10000ms)) << "the wait did not end even with a device again";
    EXPECT_TRUE(endedWithTheDevice) << "the wait went on with no device to load for";
    EXPECT_EQ(bytes.get(), 0u);
}

TEST(SdlSoundDevice, WithoutADeviceEverySoundIsSilent) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
            platform::PlaySoundFile(ZARVO_RESOURCES_DIR "/tbhit.wav");
            std::exit(sdlbackend::QueuedSoundBytes() == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// ---- Message pump ------------------------------------------------------------

class SdlMessagePump : public ::testing::Test {
protected:
    // Key messages go to the game window; one that SDL never made will do.
    void SetUp() override {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0) << SDL_GetError();
        sdlwindow::current = &window;
    }
    void TearDown() override {
        sdlwindow::current = nullptr;
        SDL_QuitSubSystem(SDL_INIT_EVENTS);
    }

    static void Push(SDL_Event event) { ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError(); }
    static void PushKey(Uint32 type, SDL_Keycode key, Uint16 modifiers = KMOD_NONE,
                        SDL_Scancode scancode = SDL_SCANCODE_UNKNOWN, Uint8 repeat = 0) {
        SDL_Event event{};
        event.key.type = type;
        event.key.keysym.sym = key;
        event.key.keysym.mod = modifiers;
        event.key.keysym.scancode = scancode;
        event.key.repeat = repeat;
        Push(event);
    }
    // The message the next PeekNextMessage takes, as "message,wParam".
    static std::string Next() {
        platform::Message message;
        if (!platform::PeekNextMessage(&message)) {
            return "none";
        }
        return std::to_string(message.message) + "," + std::to_string(message.wParam);
    }

    platform::Window window;
};

TEST_F(SdlMessagePump, SkippedEventsLeaveTheLastTakenMessageAlone) {
    PushKey(SDL_KEYDOWN, SDLK_ESCAPE);
    SDL_Event motion{};
    motion.motion.type = SDL_MOUSEMOTION;
    motion.motion.x = 400;
    Push(motion);
    SDL_Event moved{};  // a window event the game has no use for
    moved.window.type = SDL_WINDOWEVENT;
    moved.window.event = SDL_WINDOWEVENT_MOVED;
    moved.window.windowID = SDL_GetWindowID(window.handle);
    Push(moved);
    PushKey(SDL_KEYDOWN, SDLK_F13);  // no virtual-key code

    platform::Message message;
    ASSERT_TRUE(platform::PeekNextMessage(&message));
    EXPECT_EQ(message.message, platform::kWmKeyDown);
    EXPECT_EQ(message.wParam, 0x1Bu);
    EXPECT_FALSE(platform::PeekNextMessage(&message));
    EXPECT_EQ(message.message, platform::kWmKeyDown);
    EXPECT_EQ(message.wParam, 0x1Bu);  // Escape's code: the exit status
}

// Windows sends activation, size and display-change messages to the window
// procedure without queueing them: the last message taken, whose wParam is
// the exit status after Escape, stays the key.
TEST_F(SdlMessagePump, WindowMessagesGoStraightToTheWindowProcedure) {
    PushKey(SDL_KEYDOWN, SDLK_ESCAPE);
    for (const Uint8 change :
         {SDL_WINDOWEVENT_FOCUS_GAINED, SDL_WINDOWEVENT_SIZE_CHANGED, SDL_WINDOWEVENT_DISPLAY_CHANGED}) {
        SDL_Event event{};
        event.window.type = SDL_WINDOWEVENT;
        event.window.event = change;
        event.window.windowID = SDL_GetWindowID(window.handle);
        Push(event);
    }
    windowProcCalls.clear();
    EXPECT_EQ(Next(), std::to_string(platform::kWmKeyDown) + ",27");
    platform::Message message;
    EXPECT_FALSE(platform::PeekNextMessage(&message));
    const std::vector<std::string> sent{std::to_string(platform::kWmActivate) + ",1",
                                        std::to_string(platform::kWmSize) + ",0",
                                        std::to_string(platform::kWmDisplayChange) + ",0"};
    EXPECT_EQ(windowProcCalls, sent);
}

TEST_F(SdlMessagePump, AltAndF10ArriveAsSystemKeys) {
    const std::string sysKeyDown = std::to_string(platform::kWmSysKeyDown) + ",";
    const std::string sysKeyUp = std::to_string(platform::kWmSysKeyUp) + ",";
    PushKey(SDL_KEYDOWN, SDLK_LALT, KMOD_LALT);
    PushKey(SDL_KEYDOWN, SDLK_w, KMOD_LALT);
    PushKey(SDL_KEYUP, SDLK_w, KMOD_RALT);
    PushKey(SDL_KEYUP, SDLK_RALT);
    PushKey(SDL_KEYDOWN, SDLK_F10);
    PushKey(SDL_KEYUP, SDLK_F10);
    PushKey(SDL_KEYDOWN, SDLK_w);
    // Virtual-key codes: 18 Alt, 87 W, 121 F10.
    EXPECT_EQ(Next(), sysKeyDown + "18");
    EXPECT_EQ(Next(), sysKeyDown + "87");
    EXPECT_EQ(Next(), sysKeyUp + "87");
    EXPECT_EQ(Next(), sysKeyUp + "18");
    EXPECT_EQ(Next(), sysKeyDown + "121");
    EXPECT_EQ(Next(), sysKeyUp + "121");
    EXPECT_EQ(Next(), std::to_string(platform::kWmKeyDown) + ",87");  // W alone is a game key
    EXPECT_EQ(Next(), "none");
}

TEST_F(SdlMessagePump, AKeyKeepsTheCodeItWentDownWithUntilItComesUp) {
    const std::string keyDown = std::to_string(platform::kWmKeyDown) + ",";
    const std::string keyUp = std::to_string(platform::kWmKeyUp) + ",";
    // The key labelled W in a US layout; the layout becomes French while it
    // is held, where that key is labelled Z.
    PushKey(SDL_KEYDOWN, SDLK_w, KMOD_NONE, SDL_SCANCODE_W);
    PushKey(SDL_KEYDOWN, SDLK_z, KMOD_NONE, SDL_SCANCODE_W, 1);
    PushKey(SDL_KEYUP, SDLK_z, KMOD_NONE, SDL_SCANCODE_W);
    // Pressed again, it is the key the layout now labels it.
    PushKey(SDL_KEYDOWN, SDLK_z, KMOD_NONE, SDL_SCANCODE_W);
    PushKey(SDL_KEYUP, SDLK_w, KMOD_LALT, SDL_SCANCODE_W);
    // Virtual-key codes: 87 W, 90 Z.
    EXPECT_EQ(Next(), keyDown + "87");
    EXPECT_EQ(Next(), keyDown + "87");
    EXPECT_EQ(Next(), keyUp + "87");
    EXPECT_EQ(Next(), keyDown + "90");
    EXPECT_EQ(Next(), std::to_string(platform::kWmSysKeyUp) + ",90");
    EXPECT_EQ(Next(), "none");
}

// ---- Message boxes without a display ---------------------------------------

TEST(SdlMessageBox, WithoutADisplayPrintsTheMessageAndTakesTheDefaultButton) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto answerWithoutDisplay = [](const char* text, const char* caption, std::uint32_t style) {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        std::exit(platform::ShowMessageBox(text, caption, style));
    };
    EXPECT_EXIT(answerWithoutDisplay("Is the right paddle computer controlled?", "Right AI",
                                     platform::kMbYesNo | platform::kMbIconQuestion | platform::kMbDefButton2),
                ::testing::ExitedWithCode(platform::kIdNo), "Right AI: Is the right paddle computer controlled\\?");
    EXPECT_EXIT(answerWithoutDisplay("first\nsecond", "Zarvo", platform::kMbYesNoCancel | platform::kMbIconQuestion),
                ::testing::ExitedWithCode(platform::kIdYes), "Zarvo: first\nsecond");
    EXPECT_EXIT(answerWithoutDisplay("Timer-setting error.", "Error", platform::kMbOk | platform::kMbIconWarning),
                ::testing::ExitedWithCode(platform::kIdOk), "Error: Timer-setting error.");
}

}  // namespace
