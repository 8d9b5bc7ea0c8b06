// The multimedia timer services on a thread of our own per timer event.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/platform.h"
#include "platform/sdl/sdl_backend.h"

namespace {

// The whole range a steady clock and a condition variable can keep to.
constexpr std::uint32_t kPeriodMin = 1;
constexpr std::uint32_t kPeriodMax = 1000000;
// What Windows answers for an identifier it does not know.
constexpr std::uint32_t kMmsyserrInvalParam = 11;

class TimerEvent : public std::enable_shared_from_this<TimerEvent> {
public:
    TimerEvent(std::uint32_t id, std::uint32_t delayMs, platform::TimerCallback callback,
               std::uintptr_t user, bool periodic)
        : id(id), delay(delayMs), callback(callback), user(user), periodic(periodic) {}

    // The thread shares the event, so an event killed from its own callback
    // lives until that callback has returned.
    void Start() { thread = std::thread([self = shared_from_this()] { self->Run(); }); }

    // Returns once the thread has ended, so no callback is running any more.
    // From the timer's own callback it can only ask the thread to end.
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();
        } else if (thread.joinable()) {
            thread.join();
        }
    }

private:
    void Run() {
        using Clock = std::chrono::steady_clock;
        auto due = Clock::now() + delay;
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            if (wake.wait_until(lock, due, [this] { return stopping; })) {
                return;
            }
            lock.unlock();
            callback(id, 0, user, 0, 0);
            lock.lock();
            if (!periodic) {
                return;
            }
            // Keep to whole periods from the start; after a stall, start afresh
            // rather than firing the missed ticks back to back.
            due += delay;
            if (due < Clock::now()) {
                due = Clock::now() + delay;
            }
        }
    }

    const std::uint32_t id;
    const std::chrono::milliseconds delay;
    const platform::TimerCallback callback;
    const std::uintptr_t user;
    const bool periodic;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
};

std::mutex eventsMutex;
std::map<std::uint32_t, std::shared_ptr<TimerEvent>> events;
std::uint32_t lastId = 0;

pid_t ownerProcess = 0;

// However the process ends, its timers stop before the objects their callbacks
// use are destroyed: exit() may come from anywhere, Xlib's for one when the
// display goes away. A forked child has no timer threads to stop.
void StopTimersAtExit() {
    if (getpid() == ownerProcess) {
        sdlbackend::StopAllTimers();
    }
}

std::shared_ptr<TimerEvent> TakeEvent(std::uint32_t id) {
    std::lock_guard<std::mutex> lock(eventsMutex);
    const auto found = events.find(id);
    if (found == events.end()) {
        return nullptr;
    }
    std::shared_ptr<TimerEvent> event = std::move(found->second);
    events.erase(found);
    return event;
}

}  // namespace

namespace platform {

std::uint32_t TimeGetDevCaps(TimerCaps* caps, std::uint32_t size) {
    if (caps == nullptr || size != sizeof(TimerCaps)) {
        return kTimerrStruct;
    }
    caps->wPeriodMin = kPeriodMin;
    caps->wPeriodMax = kPeriodMax;
    return kTimerrNoError;
}

// Nothing to raise: each event keeps its own time to the millisecond.
std::uint32_t TimeBeginPeriod(std::uint32_t periodMs) {
    return periodMs >= kPeriodMin && periodMs <= kPeriodMax ? kTimerrNoError : kTimerrNoCanDo;
}

std::uint32_t TimeEndPeriod(std::uint32_t periodMs) { return TimeBeginPeriod(periodMs); }

std::uint32_t TimeSetEvent(std::uint32_t delayMs, std::uint32_t, TimerCallback callback, std::uintptr_t user,
                           std::uint32_t flags) {
    if (callback == nullptr || delayMs < kPeriodMin || delayMs > kPeriodMax) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(eventsMutex);
    // Registered at the first event, after every static object a callback may
    // use, so that it runs before their destructors.
    static const bool stopsAtExit = (ownerProcess = getpid(), std::atexit(StopTimersAtExit) == 0);
    (void)stopsAtExit;
    const std::uint32_t id = ++lastId == 0 ? ++lastId : lastId;
    auto event = std::make_shared<TimerEvent>(id, delayMs, callback, user, (flags & kTimePeriodic) != 0);
    try {
        event->Start();
    } catch (const std::system_error&) {
        return 0;
    }
    events.emplace(id, std::move(event));
    return id;
}

std::uint32_t TimeKillEvent(std::uint32_t timerId) {
    std::shared_ptr<TimerEvent> event = TakeEvent(timerId);
    if (event == nullptr) {
        return kMmsyserrInvalParam;
    }
    event->Stop();
    return kTimerrNoError;
}

}  // namespace platform

namespace sdlbackend {

void StopAllTimers() {
    std::map<std::uint32_t, std::shared_ptr<TimerEvent>> running;
    {
        std::lock_guard<std::mutex> lock(eventsMutex);
        running.swap(events);
    }
    for (auto& entry : running) {
        entry.second->Stop();
    }
}

}  // namespace sdlbackend
