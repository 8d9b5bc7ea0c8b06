// The multimedia timer and sound playback (winmm).
#include <array>
#include <atomic>

#include <windows.h>
#include <mmsystem.h>

#include "platform/platform.h"

namespace platform {
namespace {

// The game's callback takes the same parameters as TIMECALLBACK on Win64, but
// calling it through a cast function type would be undefined behaviour, so
// winmm calls this trampoline, which finds the callback in its binding.
struct TimerBinding {
    std::atomic<bool> inUse{false};
    TimerCallback callback = nullptr;
    std::uintptr_t user = 0;
    UINT id = 0;  // main thread only
};

std::array<TimerBinding, 4> timerBindings;

void CALLBACK TimerTrampoline(UINT id, UINT message, DWORD_PTR user, DWORD_PTR reserved1,
                              DWORD_PTR reserved2) {
    const auto* binding = reinterpret_cast<const TimerBinding*>(user);
    binding->callback(id, message, binding->user, reserved1, reserved2);
}

}  // namespace

std::uint32_t TimeGetDevCaps(TimerCaps* caps, std::uint32_t size) {
    TIMECAPS deviceCaps{};
    const MMRESULT result = timeGetDevCaps(&deviceCaps, size < sizeof deviceCaps ? size : sizeof deviceCaps);
    if (result == TIMERR_NOERROR) {
        caps->wPeriodMin = deviceCaps.wPeriodMin;
        caps->wPeriodMax = deviceCaps.wPeriodMax;
    }
    return result;
}

std::uint32_t TimeBeginPeriod(std::uint32_t periodMs) { return timeBeginPeriod(periodMs); }

std::uint32_t TimeSetEvent(std::uint32_t delayMs, std::uint32_t resolutionMs, TimerCallback callback,
                           std::uintptr_t user, std::uint32_t flags) {
    for (TimerBinding& binding : timerBindings) {
        if (binding.inUse.exchange(true)) {
            continue;
        }
        binding.callback = callback;
        binding.user = user;
        // TIME_KILL_SYNCHRONOUS: timeKillEvent then returns only once no
        // callback of the event is running, which the exit sequence relies on
        // before it closes the log the tick writes to.
        const UINT id = timeSetEvent(delayMs, resolutionMs, TimerTrampoline,
                                     reinterpret_cast<DWORD_PTR>(&binding), flags | TIME_KILL_SYNCHRONOUS);
        if (id == 0) {
            binding.inUse.store(false);
            return 0;
        }
        binding.id = id;
        return id;
    }
    return 0;
}

std::uint32_t TimeKillEvent(std::uint32_t timerId) {
    const MMRESULT result = timeKillEvent(timerId);
    if (result == TIMERR_NOERROR) {
        for (TimerBinding& binding : timerBindings) {
            if (binding.inUse.load() && binding.id == timerId) {
                binding.id = 0;
                binding.inUse.store(false);
            }
        }
    }
    return result;
}

std::uint32_t TimeEndPeriod(std::uint32_t periodMs) { return timeEndPeriod(periodMs); }

void PlaySoundFile(const char* fileName) { PlaySoundA(fileName, nullptr, SND_ASYNC); }

}  // namespace platform
