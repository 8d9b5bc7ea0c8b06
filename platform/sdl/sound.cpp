// WAV playback by file name on one SDL audio device. Playing a sound cuts off
// the one still playing, as asynchronous playback on Windows does.
//
// Files are read and converted on a loader thread, never in the frame: a
// large or slow file would otherwise hold up frames for as long as it takes.
// A file asked for before it is ready plays as soon as it is, unless another
// sound has been asked for since.
//
// SDL's audio is started and stopped, and the device opened and closed, on
// the main thread alone, as it takes its messages (TendSoundDevice). A device
// that is lost (its server ends or restarts) is closed there; the loader then
// asks once a second, in a copy of the program, whether the server answers,
// and once it does the main thread opens a device again. A server that takes
// connections and never answers holds up only the copy. Sounds asked for
// while there is no device are dropped.
#include <SDL.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sdl/sdl_backend.h"
#include "platform/sdl/sound_device.h"
#include "platform/sdl/sound_server_check.h"
#include "platform/sdl/wav_loader.h"

namespace {

// Files kept after their first play; the game has three.
constexpr std::size_t kMaxCachedFiles = 16;
// How often the device is looked at, and the server asked while there is none.
constexpr auto kLookInterval = std::chrono::seconds(1);

using Clock = std::chrono::steady_clock;

bool deviceTried = false;

struct LoadedSound {
    std::string fileName;
    std::vector<Uint8> samples;  // in the device's format; empty when unplayable
    bool ready = false;
};

// Everything below is shared with the loader thread and guarded by `guard`,
// which the loader does not hold while a file is read or the server asked.
struct Shared {
    std::mutex guard;
    std::condition_variable changed;
    std::list<LoadedSound> cache;  // a list: the loader keeps a reference across a load
};
// Never destroyed: exit() may come from any thread at any time (Xlib calls it
// when the display goes away) while the loader waits, and destroying a
// condition variable that has a waiter blocks for ever. A forked child, which
// has no loader thread but a copy of its waiter, would block the same way.
Shared& shared = *new Shared;
std::mutex& guard = shared.guard;
std::condition_variable& changed = shared.changed;
std::list<LoadedSound>& cache = shared.cache;
sdlbackend::SoundDevice device;  // id 0 while none is open
LoadedSound* wanted = nullptr;   // asked for while loading: played once ready
bool loaderHeld = false;
// The server answered while there was no device: the main thread opens one.
bool serverAnswered = false;
Clock::time_point nextAsk;
// Since when the device has held sound of which SDL has taken nothing, and
// how much it held when last seen.
Clock::time_point untouchedSince;
std::uint32_t queuedWhenSeen = 0;
Clock::time_point nextLook;
// Read without `guard` by the loader's question to the server.
std::atomic<bool> loaderStopping = false;
// Set from whatever thread SDL reports a removed device on: the game's own,
// or any output device.
std::atomic<SDL_AudioDeviceID> ownDevice = 0;
std::atomic<bool> ownRemoved = false;
std::atomic<bool> outputRemoved = false;
// Something for the main thread to do at once: a removal, or a server that answered.
std::atomic<bool> tendNow = false;
// An SDL thread rather than a std::thread: SDL frees the per-thread error
// text that a failed load leaves only for threads it started itself.
SDL_Thread* loader = nullptr;

// With `guard` held.
void UseDevice(const sdlbackend::SoundDevice& opened) {
    device = opened;
    ownDevice = opened.id;
    queuedWhenSeen = 0;
    nextLook = Clock::now() + kLookInterval;
}

// With `guard` held: whether SDL has taken any of what was queued since it
// was last seen; then sees it again.
bool Taken(std::uint32_t queued) {
    const bool taken = queued == 0 || queued < queuedWhenSeen;
    if (taken) {
        untouchedSince = Clock::now();
    }
    queuedWhenSeen = queued;
    return taken;
}

// With `guard` held. An unplayable sound leaves the one playing alone.
void Play(const LoadedSound& sound) {
    if (!sound.samples.empty()) {
        Taken(SDL_GetQueuedAudioSize(device.id));  // a sound cut off untouched leaves the clock running
        SDL_ClearQueuedAudio(device.id);
        SDL_QueueAudio(device.id, sound.samples.data(), static_cast<Uint32>(sound.samples.size()));
        queuedWhenSeen = SDL_GetQueuedAudioSize(device.id);
    }
}

LoadedSound* NextToLoad() {
    for (LoadedSound& sound : cache) {
        if (!sound.ready) {
            return &sound;
        }
    }
    return nullptr;
}

// With `guard` held, on the main thread, once a second: whether the device
// has taken nothing of the sound queued for a second. SDL's PipeWire driver
// (SDL 2 and 3) says nothing when its server goes; what was queued then
// stays queued, and the sounds asked for later too.
bool Stalled() {
    return !Taken(SDL_GetQueuedAudioSize(device.id)) && Clock::now() - untouchedSince >= kLookInterval;
}

// With `guard` held, on the main thread.
void DropLostDevice() {
    sdlbackend::CloseLostSoundDevice(device);
    device.id = 0;
    ownDevice = 0;
    wanted = nullptr;
    nextAsk = Clock::now();
    changed.notify_all();  // the loader asks the server; a wait for a file ends
}

// With `guard` held, on the main thread. Files read in another format are
// read again.
void OpenAgain() {
    const sdlbackend::SoundDevice opened = sdlbackend::OpenSoundDeviceAgain();
    if (opened.id == 0) {
        return;
    }
    if (!sdlbackend::SameFormat(opened.spec, device.spec)) {
        for (LoadedSound& sound : cache) {
            sound.samples.clear();
            sound.ready = false;
        }
    }
    UseDevice(opened);
    changed.notify_all();
}

int RunLoader(void*) {
    std::unique_lock lock(guard);
    for (;;) {
        // Without a device, until the server is to be asked again; else a
        // look every second.
        const bool asking = device.id == 0 && !serverAnswered;
        changed.wait_until(lock, asking ? nextAsk : Clock::now() + kLookInterval, [] {
            return loaderStopping || (device.id == 0 && !serverAnswered && Clock::now() >= nextAsk) ||
                   (device.id != 0 && !loaderHeld && NextToLoad() != nullptr);
        });
        if (loaderStopping) {
            return 0;
        }
        if (device.id == 0) {
            if (!serverAnswered && Clock::now() >= nextAsk) {
                nextAsk = Clock::now() + kLookInterval;
                const std::string driver = sdlbackend::SoundDriver();
                lock.unlock();
                const bool answers = sdlbackend::SoundServerAnswers(driver, loaderStopping);
                lock.lock();
                serverAnswered = answers && device.id == 0;
                tendNow = serverAnswered;
            }
            continue;
        }
        LoadedSound* next = loaderHeld ? nullptr : NextToLoad();
        if (next == nullptr) {
            continue;
        }
        LoadedSound& sound = *next;
        const std::string fileName = sound.fileName;
        const SDL_AudioSpec spec = device.spec;
        lock.unlock();
        std::vector<Uint8> samples = sdlbackend::LoadInDeviceFormat(fileName.c_str(), spec);
        lock.lock();
        if (device.id == 0 || !sdlbackend::SameFormat(spec, device.spec)) {
            continue;  // read for a device that has gone: read again for the next
        }
        sound.samples = std::move(samples);
        sound.ready = true;
        if (wanted == &sound) {
            wanted = nullptr;
            Play(sound);
        }
        changed.notify_all();
    }
}

// SDL 2 sends it for the device it lost, naming it, from its audio thread;
// since 2.24 also for any other device unplugged, naming none (0). Under
// sdl2-compat (SDL 3) every removal names none, from the main thread's event
// pump: the game's device, opened as the default, is moved by SDL 3 to the
// next default rather than removed, and what tells of its loss there is a
// removal that leaves no output device (or, on PipeWire, a stall). Only flags
// are set here: the main thread looks.
int NoticeRemoval(void*, SDL_Event* event) {
    if (event->type == SDL_AUDIODEVICEREMOVED && event->adevice.iscapture == 0) {
        if (event->adevice.which != 0 && event->adevice.which == ownDevice) {
            ownRemoved = true;
        }
        outputRemoved = true;
        tendNow = true;
    }
    return 1;
}

// With `guard` held. Each file is read once and kept: reading again at every
// bounce would be wasted work. A file that could not be played then stays
// silent for the rest of the run.
LoadedSound& Entry(const char* fileName) {
    for (LoadedSound& sound : cache) {
        if (sound.fileName == fileName) {
            return sound;
        }
    }
    if (cache.size() >= kMaxCachedFiles) {
        // The oldest file already loaded makes room; the loader may hold the others.
        for (auto it = cache.begin(); it != cache.end(); ++it) {
            if (it->ready) {
                if (wanted == &*it) {
                    wanted = nullptr;
                }
                cache.erase(it);
                break;
            }
        }
    }
    cache.push_back(LoadedSound{fileName, {}, false});
    changed.notify_all();
    return cache.back();
}

}  // namespace

namespace sdlbackend {

void OpenSoundDevice() {
    if (deviceTried) {
        return;
    }
    deviceTried = true;
    const SoundDevice opened = OpenFirstSoundDevice();
    if (opened.id == 0) {
        return;
    }
    UseDevice(opened);
    loaderStopping = false;
    loader = SDL_CreateThread(RunLoader, "sound loader", nullptr);
    if (loader == nullptr) {
        CloseSoundDevice();
        return;
    }
    SDL_AddEventWatch(NoticeRemoval, nullptr);
}

void TendSoundDevice() {
    if (loader == nullptr || (!tendNow.exchange(false) && Clock::now() < nextLook)) {
        return;
    }
    const std::lock_guard lock(guard);
    const bool look = Clock::now() >= nextLook;
    if (look) {
        nextLook = Clock::now() + kLookInterval;
    }
    const bool own = ownRemoved.exchange(false);
    const bool output = outputRemoved.exchange(false);
    if (device.id != 0) {
        if (own || (output && !AnyOutputDevice()) || (look && (SoundDeviceStopped(device) || Stalled()))) {
            DropLostDevice();
        }
    } else if (serverAnswered) {
        serverAnswered = false;
        OpenAgain();
    }
}

void CloseSoundDevice() {
    SDL_DelEventWatch(NoticeRemoval, nullptr);
    if (loader != nullptr) {
        {
            const std::lock_guard lock(guard);
            loaderStopping = true;
        }
        changed.notify_all();
        SDL_WaitThread(loader, nullptr);  // a question to the server is given up at once
        loader = nullptr;
    }
    const std::lock_guard lock(guard);
    CloseLastSoundDevice(device);
    device.id = 0;
    ownDevice = 0;
    cache.clear();
    wanted = nullptr;
}

std::uint32_t QueuedSoundBytes() {
    const std::lock_guard lock(guard);
    return device.id == 0 ? 0 : SDL_GetQueuedAudioSize(device.id);
}

std::uint32_t SoundBytes(const char* fileName) {
    std::unique_lock lock(guard);
    if (device.id == 0 || fileName == nullptr) {
        return 0;
    }
    const LoadedSound& sound = Entry(fileName);
    changed.wait(lock, [&] { return sound.ready || device.id == 0; });
    return static_cast<std::uint32_t>(sound.samples.size());
}

void HoldSoundLoading(bool held) {
    {
        const std::lock_guard lock(guard);
        loaderHeld = held;
    }
    changed.notify_all();
}

}  // namespace sdlbackend

namespace platform {

void PlaySoundFile(const char* fileName) {
    sdlbackend::OpenSoundDevice();
    const std::lock_guard lock(guard);
    if (device.id == 0 || fileName == nullptr) {
        return;
    }
    LoadedSound& sound = Entry(fileName);
    if (sound.ready) {
        if (!sound.samples.empty()) {
            wanted = nullptr;
            Play(sound);
        }
    } else {
        wanted = &sound;
    }
}

}  // namespace platform
