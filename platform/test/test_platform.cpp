#include "platform/test/test_platform.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/embedded_bitmaps.h"

namespace testplatform {
namespace {

State state;

// Stand-in handles: distinct addresses that are never dereferenced.
char moduleToken;
char windowToken;
char dcToken;
char contextToken;

class TimerThread {
public:
    void Start(int periodMs, platform::TimerCallback callback, std::uint32_t id) {
        stop = false;
        thread = std::thread([this, periodMs, callback, id] {
            std::unique_lock<std::mutex> lock(mutex);
            while (!wake.wait_for(lock, std::chrono::milliseconds(periodMs), [this] { return stop; })) {
                lock.unlock();
                callback(id, 0, 0, 0, 0);
                lock.lock();
            }
        });
    }
    void Stop() {
        if (!thread.joinable()) {
            return;
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        wake.notify_all();
        thread.join();
    }
    ~TimerThread() { Stop(); }

private:
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
};

TimerThread timerThread;

bool Fails(const char* name) { return state.failing.count(name) != 0; }

void Record(std::string call) {
    state.calls.push_back(std::move(call));
    if (state.onCall) {
        state.onCall(state.calls.back());
    }
}

}  // namespace

State& Get() { return state; }

void Reset() {
    timerThread.Stop();
    state = State();
}

void FireTimer() {
    if (state.timerCallback != nullptr) {
        state.timerCallback(1, 0, 0, 0, 0);
    }
}

void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    state.queue.push_back(platform::Message{reinterpret_cast<platform::Window*>(&windowToken), message,
                                            wParam, lParam});
}

std::string LastSound() {
    if (state.soundCount == 0) {
        return "";
    }
    return state.recentSounds[(state.soundCount - 1) % state.recentSounds.size()];
}

std::vector<std::string> CallsNamed(const std::set<std::string>& names) {
    std::vector<std::string> result;
    for (const std::string& call : state.calls) {
        const std::string name = call.substr(0, call.find('('));
        if (names.count(name) != 0) {
            result.push_back(call);
        }
    }
    return result;
}

}  // namespace testplatform

namespace platform {

using testplatform::Fails;
using testplatform::Record;
using testplatform::state;

int ShowMessageBox(const char* text, const char* caption, std::uint32_t style) {
    int answer = DefaultButton(style);
    const auto scripted = state.answers.find(caption);
    if (scripted != state.answers.end()) {
        answer = scripted->second;
    }
    state.messageBoxes.push_back({text, caption, style, answer});
    Record(std::string("ShowMessageBox(") + caption + ")");
    return answer;
}

Module* GetOwnModule() { return reinterpret_cast<Module*>(&testplatform::moduleToken); }

bool RegisterWindowClass(Module*) {
    Record("RegisterWindowClass()");
    return !Fails("RegisterWindowClass");
}

bool UnregisterWindowClass(Module*) {
    Record("UnregisterWindowClass()");
    return !Fails("UnregisterWindowClass");
}

bool ChangeDisplayMode(int width, int height, int bitsPerPixel) {
    Record("ChangeDisplayMode(" + std::to_string(width) + "," + std::to_string(height) + "," +
           std::to_string(bitsPerPixel) + ")");
    if (Fails("ChangeDisplayMode")) {
        return false;
    }
    state.displayModeChanged = true;
    return true;
}

void RestoreDisplayMode() {
    Record("RestoreDisplayMode()");
    state.displayModeChanged = false;
}

void ShowMouseCursor(bool show) {
    Record(std::string("ShowMouseCursor(") + (show ? "true" : "false") + ")");
    state.cursorShown = show;
}

bool GetMonitorAreas(Window*, MonitorAreas* areas) {
    if (Fails("GetMonitorAreas")) {
        return false;
    }
    *areas = {state.monitor, state.workArea};
    return true;
}

ScreenRect GetFrameMargins(Window* window, WindowStyle style) {
    if (style == WindowStyle::Popup || (state.frameKnownOnceShown && (window == nullptr || !state.windowShown))) {
        return {};
    }
    return state.frame;
}

Window* CreateGameWindow(Module*, const char* title, int left, int top, int clientWidth, int clientHeight,
                         WindowStyle style) {
    Record(std::string("CreateGameWindow(") + title + "," + std::to_string(clientWidth) + "," +
           std::to_string(clientHeight) + "," + (style == WindowStyle::Popup ? "popup" : "overlapped") + ")");
    if (Fails("CreateGameWindow")) {
        return nullptr;
    }
    state.windowPlace = {left, top, clientWidth, clientHeight};
    return reinterpret_cast<Window*>(&testplatform::windowToken);
}

bool DestroyGameWindow(Window*) {
    Record("DestroyGameWindow()");
    state.windowShown = false;
    return !Fails("DestroyGameWindow");
}

void ShowGameWindow(Window*) {
    Record("ShowGameWindow()");
    state.windowShown = true;
}

bool PlaceGameWindow(Window*, int left, int top, int clientWidth, int clientHeight) {
    Record("PlaceGameWindow(" + std::to_string(clientWidth) + "," + std::to_string(clientHeight) + ")");
    state.windowPlace = {left, top, clientWidth, clientHeight};
    return true;
}

bool IsWindowMaximised(Window*) { return state.windowMaximised; }

bool GetClientSize(Window*, int* width, int* height) {
    *width = state.windowPlace.clientWidth;
    *height = state.windowPlace.clientHeight;
    return true;
}

DeviceContext* GetDeviceContext(Window*) {
    Record("GetDeviceContext()");
    return Fails("GetDeviceContext") ? nullptr : reinterpret_cast<DeviceContext*>(&testplatform::dcToken);
}

bool ReleaseDeviceContext(Window*, DeviceContext*) {
    Record("ReleaseDeviceContext()");
    return !Fails("ReleaseDeviceContext");
}

int ChooseGlPixelFormat(DeviceContext*, int colorBits, int depthBits) {
    Record("ChooseGlPixelFormat(" + std::to_string(colorBits) + "," + std::to_string(depthBits) + ")");
    return Fails("ChooseGlPixelFormat") ? 0 : 1;
}

bool SetGlPixelFormat(DeviceContext*, int format, int, int) {
    Record("SetGlPixelFormat(" + std::to_string(format) + ")");
    return !Fails("SetGlPixelFormat");
}

GlContext* CreateGlContext(DeviceContext*) {
    Record("CreateGlContext()");
    return Fails("CreateGlContext") ? nullptr : reinterpret_cast<GlContext*>(&testplatform::contextToken);
}

bool MakeGlContextCurrent(DeviceContext* dc, GlContext* context) {
    const bool release = dc == nullptr && context == nullptr;
    Record(release ? "MakeGlContextCurrent(none)" : "MakeGlContextCurrent(game)");
    return !Fails(release ? "MakeGlContextCurrent(none)" : "MakeGlContextCurrent");
}

bool DeleteGlContext(GlContext*) {
    Record("DeleteGlContext()");
    return !Fails("DeleteGlContext");
}

void SwapWindowBuffers(DeviceContext*) {
    state.swaps += 1;
    if (state.onSwap) {
        state.onSwap(state.swaps);
    }
}

bool PeekNextMessage(Message* message) {
    if (state.queue.empty()) {
        state.emptyPolls += 1;
        if (state.onEmptyQueue) {
            state.onEmptyQueue(state.emptyPolls);
        }
        return false;
    }
    *message = state.queue.front();
    state.queue.pop_front();
    return true;
}

void DispatchToWindow(const Message& message) {
    WindowProc(message.window, message.message, message.wParam, message.lParam);
}

void PostQuit(int exitCode) {
    Record("PostQuit(" + std::to_string(exitCode) + ")");
    state.queue.push_back(Message{nullptr, kWmQuit, static_cast<std::uintptr_t>(exitCode), 0});
}

std::intptr_t DefaultWindowProc(Window*, std::uint32_t message, std::uintptr_t wParam, std::intptr_t) {
    Record("DefaultWindowProc(" + std::to_string(message) + "," + std::to_string(wParam) + ")");
    return state.defaultWindowProcResult;
}

std::uint32_t TimeGetDevCaps(TimerCaps* caps, std::uint32_t size) {
    Record("TimeGetDevCaps(" + std::to_string(size) + ")");
    if (Fails("TimeGetDevCaps")) {
        return kTimerrStruct;
    }
    caps->wPeriodMin = 1;
    caps->wPeriodMax = 1000000;
    return kTimerrNoError;
}

std::uint32_t TimeBeginPeriod(std::uint32_t periodMs) {
    Record("TimeBeginPeriod(" + std::to_string(periodMs) + ")");
    return Fails("TimeBeginPeriod") ? kTimerrNoCanDo : kTimerrNoError;
}

std::uint32_t TimeSetEvent(std::uint32_t delayMs, std::uint32_t resolutionMs, TimerCallback callback,
                           std::uintptr_t, std::uint32_t flags) {
    Record("TimeSetEvent(" + std::to_string(delayMs) + "," + std::to_string(resolutionMs) + "," +
           std::to_string(flags) + ")");
    if (Fails("TimeSetEvent")) {
        return 0;
    }
    state.timerCallback = callback;
    constexpr std::uint32_t kId = 7;
    if (state.realTimerPeriodMs > 0) {
        testplatform::timerThread.Start(state.realTimerPeriodMs, callback, kId);
    }
    return kId;
}

std::uint32_t TimeKillEvent(std::uint32_t timerId) {
    Record("TimeKillEvent(" + std::to_string(timerId) + ")");
    testplatform::timerThread.Stop();
    return kTimerrNoError;
}

std::uint32_t TimeEndPeriod(std::uint32_t periodMs) {
    Record("TimeEndPeriod(" + std::to_string(periodMs) + ")");
    return kTimerrNoError;
}

void PlaySoundFile(const char* fileName) {
    // Not recorded in calls: a long match plays thousands of sounds.
    state.recentSounds[state.soundCount % state.recentSounds.size()] = fileName;
    state.soundCount += 1;
}

bool LoadBitmapResource(Module*, int id, Bitmap* bitmap) {
    if (state.missingBitmaps.count(id) != 0) {
        return false;
    }
    if (const auto replaced = state.replacedBitmaps.find(id); replaced != state.replacedBitmaps.end()) {
        *bitmap = replaced->second;
        return true;
    }
    return LoadEmbeddedBitmap(id, bitmap);
}

void FreeBitmapResource(Bitmap* bitmap) { *bitmap = Bitmap(); }

}  // namespace platform
