// The sound device's life: its states, their rules, and which thread makes
// each call.
//
//   None -> Open or Asking. At the start the sound thread opens the first
//       device (sound_device.cpp chooses the driver); without one, it asks.
//   Open -> Lost. The device is lost when SDL names it in a removal (SDL 2);
//       when a removal leaves SDL no output device (SDL 3 moves a device
//       opened as the default to the next default rather than remove it);
//       when SDL has marked it stopped; or when it has taken nothing of what
//       was queued for a second: a server that stalls, or one that has gone
//       under SDL's PipeWire driver, which says nothing then. Another
//       device's removal leaves it alone.
//   Lost -> Asking, once the lost device's close has returned. The close
//       waits for SDL's audio thread, which waits on the server: for as
//       long as a stalled server, on the sound thread alone.
//   Asking -> Reopened, when a copy of the program, asked once a second,
//       finds the server answering on the driver that had the device (the
//       first device's choice while there has been none).
//   Reopened -> Open, or Asking again when the open fails.
//
// Threads. The sound thread (this file's own) makes every call that can
// wait on a sound server: the question, the opening and closing of the
// device, and the look once a second. SDL 2 lets it start and stop SDL's
// audio too. SDL 3 (sdl2-compat) allows that on the main thread alone (its
// event pump locks what starting and stopping make and destroy): there
// DriverStep hands the step to the message pump's call (TendSoundDevice)
// and waits for it. The main thread then starts the audio only just after
// the server has answered, and stops it only once the lost device's close
// has returned. Otherwise the main thread only queues sounds, which waits on
// no server: SDL's queue has its own lock, which SDL's audio thread holds
// only while it copies from it. At the end the sound thread closes the
// device and the main thread waits a moment for it; a close that does not
// return is left to the exit, with SDL's audio.
#include "platform/sdl/sound_life.h"

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <optional>

#include "platform/sdl/sdl_backend.h"
#include "platform/sdl/under_sdl.h"
#include "platform/sdl/sound_server_check.h"

namespace sdlbackend {
namespace {

using Clock = std::chrono::steady_clock;

// How often the device is looked at, and the server asked while there is none.
constexpr auto kLookInterval = std::chrono::seconds(1);
// A healthy close takes a few milliseconds; one that takes longer at the end
// waits on its server, which the player should not.
constexpr auto kEndWithin = std::chrono::milliseconds(300);

// Never destroyed: exit() may come from any thread at any time (Xlib calls
// it when the display goes away), and destroying a condition variable that
// has a waiter blocks for ever. A copy of the program, which has no sound
// thread but a copy of its waiter, would block the same way.
struct Life {
    std::mutex guard;
    std::condition_variable changed;
    SoundState state = SoundState::None;
    SoundDevice device;
    // Since when the device has held sound of which SDL has taken nothing,
    // and how much it held when last seen.
    Clock::time_point untouchedSince;
    std::uint32_t queuedWhenSeen = 0;
    Clock::time_point nextLook;
    Clock::time_point nextAsk;
    bool started = false;
    bool ending = false;
    bool threadEnded = false;
    // A step handed to the main thread (SDL 3), and what it returned.
    const std::function<bool()>* mainStep = nullptr;
    bool mainStepResult = false;
};
Life& life = *new Life;

SDL_Thread* thread = nullptr;
// Read without the guard by the question to the server.
std::atomic<bool> stopAsking = false;
// Set from whatever thread SDL reports a removed device on.
std::atomic<SDL_AudioDeviceID> ownDevice = 0;
std::atomic<bool> ownRemoved = false;
std::atomic<bool> outputRemoved = false;
// A step waits for the main thread.
std::atomic<bool> mainStepWaiting = false;
bool driverOnMainThread = false;
SDL_threadID mainThread = 0;

// With the guard held.
void Become(SoundState state) {
    life.state = state;
    life.changed.notify_all();
}

// With the guard held.
void UseDevice(const SoundDevice& opened) {
    life.device = opened;
    ownDevice = opened.id;
    life.queuedWhenSeen = 0;
    life.nextLook = Clock::now() + kLookInterval;
    Become(SoundState::Open);
}

// With the guard held: whether SDL has taken any of what was queued since it
// was last seen; then sees it again.
bool Taken(std::uint32_t queued) {
    const bool taken = queued == 0 || queued < life.queuedWhenSeen;
    if (taken) {
        life.untouchedSince = Clock::now();
    }
    life.queuedWhenSeen = queued;
    return taken;
}

// With the guard held: whether the device has taken nothing of the sound
// queued for a second.
bool Stalled() {
    return !Taken(SDL_GetQueuedAudioSize(life.device.id)) && Clock::now() - life.untouchedSince >= kLookInterval;
}

// With the guard held, on the sound thread: whether the open device is lost.
bool Lost() {
    const bool look = Clock::now() >= life.nextLook;
    if (look) {
        life.nextLook = Clock::now() + kLookInterval;
    }
    const bool own = ownRemoved.exchange(false);
    const bool output = outputRemoved.exchange(false);
    return own || (output && !AnyOutputDevice()) || (look && (SoundDeviceStopped(life.device) || Stalled()));
}

// SDL 2 sends it for the device it lost, naming it, from its audio thread;
// since 2.24 also for any other device unplugged, naming none (0). Under
// sdl2-compat every removal names none, from the main thread's event pump.
int NoticeRemoval(void*, SDL_Event* event) {
    if (event->type == SDL_AUDIODEVICEREMOVED && event->adevice.iscapture == 0) {
        if (event->adevice.which != 0 && event->adevice.which == ownDevice) {
            ownRemoved = true;
        }
        outputRemoved = true;
        { const std::lock_guard lock(life.guard); }  // the sound thread waits or sees the flags
        life.changed.notify_all();
    }
    return 1;
}

// SDL 3 starts its audio on the main thread alone, which has no message pump
// before the questions: there the first device is opened on the main thread
// before the sound thread starts, so it is open before the first question,
// as on SDL 2. A server that does not answer then holds up the start only.
std::optional<SoundDevice> openedFirst;

// With the guard held, on the sound thread: the open device is forgotten in
// that state, then closed with the guard let go (a close may wait on the server).
void DropDevice(std::unique_lock<std::mutex>& lock, SoundState state, void (*close)(const SoundDevice&)) {
    const SoundDevice dropped = life.device;
    life.device.id = 0;
    ownDevice = 0;
    Become(state);
    lock.unlock();
    close(dropped);
    lock.lock();
}

int RunSoundThread(void*) {
    const SoundDevice first = openedFirst ? *openedFirst : OpenFirstSoundDevice();
    std::unique_lock lock(life.guard);
    if (first.id != 0) {
        UseDevice(first);
    } else {
        life.nextAsk = Clock::now() + kLookInterval;
        Become(SoundState::Asking);
    }
    while (!life.ending) {
        const Clock::time_point wake = life.state == SoundState::Open ? life.nextLook : life.nextAsk;
        life.changed.wait_until(lock, wake, [] { return life.ending || ownRemoved || outputRemoved; });
        if (life.ending) {
            break;
        }
        if (life.state == SoundState::Open) {
            if (!Lost()) {
                continue;
            }
            DropDevice(lock, SoundState::Lost, CloseLostSoundDevice);
            life.nextAsk = Clock::now();
            Become(SoundState::Asking);
        } else if (Clock::now() >= life.nextAsk) {
            ownRemoved = false;
            outputRemoved = false;
            life.nextAsk = Clock::now() + kLookInterval;
            const std::string driver = SoundDriver();
            lock.unlock();
            const bool answers = SoundServerAnswers(driver, stopAsking);
            lock.lock();
            if (!answers || life.ending) {
                continue;
            }
            Become(SoundState::Reopened);
            lock.unlock();
            const SoundDevice opened = OpenSoundDeviceAgain();
            lock.lock();
            if (opened.id != 0) {
                UseDevice(opened);
            } else {
                Become(SoundState::Asking);
            }
        } else {
            ownRemoved = false;
            outputRemoved = false;
        }
    }
    DropDevice(lock, SoundState::None, CloseSoundDeviceAtEnd);
    life.threadEnded = true;
    life.changed.notify_all();
    return 0;
}

}  // namespace

std::mutex& SoundGuard() { return life.guard; }
std::condition_variable& SoundChanged() { return life.changed; }
const SoundDevice& CurrentSoundDevice() { return life.device; }
SoundState CurrentSoundState() { return life.state; }

void QueueSound(const std::uint8_t* samples, std::uint32_t size) {
    Taken(SDL_GetQueuedAudioSize(life.device.id));  // a sound cut off untouched leaves the clock running
    SDL_ClearQueuedAudio(life.device.id);
    SDL_QueueAudio(life.device.id, samples, size);
    life.queuedWhenSeen = SDL_GetQueuedAudioSize(life.device.id);
}

bool DriverStep(const std::function<bool()>& step) {
    std::unique_lock lock(life.guard);
    if (life.ending) {
        return false;
    }
    if (!driverOnMainThread) {
        lock.unlock();
        return step();
    }
    life.mainStep = &step;
    mainStepWaiting = true;
    life.changed.notify_all();
    life.changed.wait(lock, [&] { return life.mainStep == nullptr || life.ending; });
    const bool done = life.mainStep == nullptr;
    life.mainStep = nullptr;
    mainStepWaiting = false;
    return done && life.mainStepResult;
}

// With the guard held, on the main thread: runs the step the sound thread
// has handed over, if there is one.
void ServeMainStep(std::unique_lock<std::mutex>& lock) {
    const std::function<bool()>* step = life.mainStep;
    if (step == nullptr) {
        return;
    }
    lock.unlock();
    const bool result = (*step)();
    lock.lock();
    life.mainStepResult = result;
    life.mainStep = nullptr;
    life.changed.notify_all();
}

void StartSoundLife() {
    {
        const std::lock_guard lock(life.guard);
        if (life.started) {
            return;
        }
        life.started = true;
    }
    mainThread = SDL_ThreadID();
    if (undersdl::ServedBySdl3()) {
        openedFirst = OpenFirstSoundDevice();  // its steps run here and now
    }
    driverOnMainThread = undersdl::ServedBySdl3();
    SDL_AddEventWatch(NoticeRemoval, nullptr);
    thread = SDL_CreateThread(RunSoundThread, "sound device", nullptr);
    if (thread == nullptr) {
        SDL_DelEventWatch(NoticeRemoval, nullptr);
        const std::lock_guard lock(life.guard);
        Become(SoundState::Asking);  // for ever: every sound is silent
    }
}

void TendSoundDevice() {
    if (!mainStepWaiting || SDL_ThreadID() != mainThread) {
        return;
    }
    std::unique_lock lock(life.guard);
    ServeMainStep(lock);
}

bool EndSoundLife() {
    SDL_DelEventWatch(NoticeRemoval, nullptr);
    if (thread == nullptr) {
        return true;
    }
    std::unique_lock lock(life.guard);
    life.ending = true;
    stopAsking = true;
    life.changed.notify_all();
    if (!life.changed.wait_for(lock, kEndWithin, [] { return life.threadEnded; })) {
        return false;  // its close waits on the server: left to the exit
    }
    lock.unlock();
    SDL_WaitThread(thread, nullptr);
    thread = nullptr;
    StopSoundDriver();
    return true;
}

}  // namespace sdlbackend
