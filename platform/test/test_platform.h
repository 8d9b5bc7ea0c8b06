#pragma once

// Control panel of the test backend: scripted answers, steps made to fail,
// queued window messages, and a record of every platform call in order.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace testplatform {

struct MessageBoxCall {
    std::string text;
    std::string caption;
    std::uint32_t style;
    int answer;
};

struct State {
    // Answers by caption; a box without a scripted answer gets its default button.
    std::map<std::string, int> answers;
    // Names of platform calls that fail, e.g. "CreateGameWindow", "TimeSetEvent".
    std::set<std::string> failing;
    // Bitmap ids whose loading fails.
    std::set<int> missingBitmaps;
    // Pictures loaded for these ids in place of the game's own.
    std::map<int, platform::Bitmap> replacedBitmaps;
    // Messages waiting in the queue, taken by PeekNextMessage.
    std::deque<platform::Message> queue;
    // Called on every buffer swap with the number of swaps so far.
    std::function<void(int)> onSwap;
    // Called when PeekNextMessage finds the queue empty, with the number of
    // such polls so far: lets a test post messages to a loop that runs no frames.
    std::function<void(int)> onEmptyQueue;
    // Called with every call as it is recorded, before the call returns.
    std::function<void(const std::string&)> onCall;
    // What DefaultWindowProc returns.
    std::intptr_t defaultWindowProcResult = 0;
    // When above 0, TimeSetEvent starts a real thread calling the callback
    // every this many milliseconds instead of the requested delay.
    int realTimerPeriodMs = 0;

    // The window's monitor, its work area and a framed window's frame: by
    // default a screen the 1152x864 window fits on with room to spare.
    platform::ScreenRect monitor{0, 0, 1920, 1080};
    platform::ScreenRect workArea{0, 0, 1920, 1080};
    platform::ScreenRect frame{8, 31, 8, 8};
    // As with a window manager's frame: unknown (zero) until the window is shown.
    bool frameKnownOnceShown = false;
    // Where the window was created or last placed, and its client area.
    struct {
        int left = 0;
        int top = 0;
        int clientWidth = 0;
        int clientHeight = 0;
    } windowPlace;
    bool windowShown = false;
    // As when the player or the window manager maximised it.
    bool windowMaximised = false;

    std::vector<std::string> calls;
    std::vector<MessageBoxCall> messageBoxes;
    // Sounds are kept without allocating, so frames stay allocation-free.
    std::array<const char*, 64> recentSounds{};
    std::size_t soundCount = 0;
    int swaps = 0;
    int emptyPolls = 0;
    bool displayModeChanged = false;
    bool cursorShown = true;
    platform::TimerCallback timerCallback = nullptr;
};

State& Get();
// Stops a running timer thread and forgets everything.
void Reset();
// Calls the timer callback once on the calling thread, as a tick would.
void FireTimer();
// Queues a message for the game window.
void Post(std::uint32_t message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
// The sound started last, or "" when none was.
std::string LastSound();
// The calls recorded so far whose name is one of names, in order.
std::vector<std::string> CallsNamed(const std::set<std::string>& names);

}  // namespace testplatform
