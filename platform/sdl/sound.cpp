// WAV playback by file name on one SDL audio device. Playing a sound cuts off
// the one still playing, as asynchronous playback on Windows does.
//
// Files are read and converted on a loader thread, never in the frame: a
// large or slow file would otherwise hold up frames for as long as it takes.
// A file asked for before it is ready plays as soon as it is, unless another
// sound has been asked for since.
//
// A device that goes away (the sound server ends or restarts) is replaced on
// the loader thread too: it tries once a second to open a new one. Sounds
// asked for while there is none are dropped.
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
#include "platform/sdl/wav_loader.h"

namespace {

// Files kept after their first play; the game has three.
constexpr std::size_t kMaxCachedFiles = 16;
constexpr auto kReopenInterval = std::chrono::seconds(1);

using Clock = std::chrono::steady_clock;

bool deviceTried = false;

struct LoadedSound {
    std::string fileName;
    std::vector<Uint8> samples;  // in the device's format; empty when unplayable
    bool ready = false;
};

// Everything below is shared with the loader thread and guarded by `guard`,
// which neither side holds while a file is read or a device opened.
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
bool loaderStopping = false;
// The loader is replacing a lost device, without `guard`: SDL's audio is
// then its alone.
bool replacing = false;
Clock::time_point nextOpen;
// Set from whatever thread SDL reports a removed device on.
std::atomic<bool> removalNoticed = false;
// An SDL thread rather than a std::thread: SDL frees the per-thread error
// text that a failed load leaves only for threads it started itself.
SDL_Thread* loader = nullptr;

// With `guard` held. An unplayable sound leaves the one playing alone.
void Play(const LoadedSound& sound) {
    if (!sound.samples.empty()) {
        SDL_ClearQueuedAudio(device.id);
        SDL_QueueAudio(device.id, sound.samples.data(), static_cast<Uint32>(sound.samples.size()));
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

// With `lock` held on entry and on return, which it lets go meanwhile.
template <typename Action>
void WithoutLock(std::unique_lock<std::mutex>& lock, Action action) {
    replacing = true;
    lock.unlock();
    action();
    lock.lock();
    replacing = false;
}

void DropLostDevice(std::unique_lock<std::mutex>& lock) {
    const sdlbackend::SoundDevice lost = device;
    device.id = 0;
    wanted = nullptr;
    WithoutLock(lock, [&] { sdlbackend::CloseLostSoundDevice(lost); });
}

// Files read in another format are read again.
void OpenAgain(std::unique_lock<std::mutex>& lock) {
    sdlbackend::SoundDevice opened;
    WithoutLock(lock, [&] { opened = sdlbackend::OpenSoundDeviceAgain(); });
    nextOpen = Clock::now() + kReopenInterval;
    if (opened.id == 0) {
        return;
    }
    if (!sdlbackend::SameFormat(opened.spec, device.spec)) {
        for (LoadedSound& sound : cache) {
            sound.samples.clear();
            sound.ready = false;
        }
    }
    device = opened;
}

int RunLoader(void*) {
    std::unique_lock lock(guard);
    for (;;) {
        // With a device, a look at it every second too, in case the news of
        // its end came between a look and the wait.
        changed.wait_until(lock, device.id != 0 ? Clock::now() + kReopenInterval : nextOpen, [] {
            return loaderStopping || removalNoticed || (device.id == 0 && Clock::now() >= nextOpen) ||
                   (device.id != 0 && !loaderHeld && NextToLoad() != nullptr);
        });
        if (loaderStopping) {
            return 0;
        }
        const bool removed = removalNoticed.exchange(false);
        if (device.id != 0 && (removed || sdlbackend::SoundDeviceStopped(device))) {
            DropLostDevice(lock);
            continue;
        }
        if (device.id == 0) {
            if (Clock::now() >= nextOpen) {
                OpenAgain(lock);
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

// SDL 2 sends it for the device it lost, from its audio thread; sdl2-compat
// (on SDL 3) for any device, naming none, from the main thread's event pump.
// Either way only a flag is set: the loader looks.
int NoticeRemoval(void*, SDL_Event* event) {
    if (event->type == SDL_AUDIODEVICEREMOVED && event->adevice.iscapture == 0) {
        removalNoticed = true;
        changed.notify_all();
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
    device = opened;
    nextOpen = Clock::now() + kReopenInterval;
    loaderStopping = false;
    loader = SDL_CreateThread(RunLoader, "sound loader", nullptr);
    if (loader == nullptr) {
        CloseSoundDevice();
        return;
    }
    SDL_AddEventWatch(NoticeRemoval, nullptr);
}

bool CloseSoundDevice() {
    SDL_DelEventWatch(NoticeRemoval, nullptr);
    bool abandoned = false;
    if (loader != nullptr) {
        {
            const std::lock_guard lock(guard);
            loaderStopping = true;
            abandoned = replacing;
        }
        changed.notify_all();
        // Opening a device can wait long on a server that does not answer:
        // the program ends without waiting, and leaves SDL's audio alone.
        if (abandoned) {
            SDL_DetachThread(loader);
        } else {
            SDL_WaitThread(loader, nullptr);
        }
        loader = nullptr;
    }
    const std::lock_guard lock(guard);
    if (!abandoned) {
        CloseLastSoundDevice(device);
    }
    device.id = 0;
    cache.clear();
    wanted = nullptr;
    return !abandoned;
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
