// WAV playback by file name on one SDL audio device. Playing a sound cuts off
// the one still playing, as asynchronous playback on Windows does.
//
// Files are read and converted on a loader thread, never in the frame: a
// large or slow file would otherwise hold up frames for as long as it takes.
// A file asked for before it is ready plays as soon as it is, unless another
// sound has been asked for since.
#include <SDL.h>

#include <condition_variable>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sdl/sdl_backend.h"
#include "platform/sdl/wav_loader.h"

namespace {

// Files kept after their first play; the game has three.
constexpr std::size_t kMaxCachedFiles = 16;
constexpr int kDeviceRate = 44100;
constexpr Uint16 kDeviceSamples = 1024;

bool deviceTried = false;
SDL_AudioDeviceID device = 0;
SDL_AudioSpec deviceSpec{};

struct LoadedSound {
    std::string fileName;
    std::vector<Uint8> samples;  // in the device's format; empty when unplayable
    bool ready = false;
};

// Everything below is shared with the loader thread and guarded by `guard`,
// which neither side holds while a file is read.
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
LoadedSound* wanted = nullptr;  // asked for while loading: played once ready
bool loaderHeld = false;
bool loaderStopping = false;
// An SDL thread rather than a std::thread: SDL frees the per-thread error
// text that a failed load leaves only for threads it started itself.
SDL_Thread* loader = nullptr;

// With `guard` held. An unplayable sound leaves the one playing alone.
void Play(const LoadedSound& sound) {
    if (!sound.samples.empty()) {
        SDL_ClearQueuedAudio(device);
        SDL_QueueAudio(device, sound.samples.data(), static_cast<Uint32>(sound.samples.size()));
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

int LoadFiles(void*) {
    std::unique_lock lock(guard);
    for (;;) {
        changed.wait(lock, [] { return loaderStopping || (!loaderHeld && NextToLoad() != nullptr); });
        if (loaderStopping) {
            return 0;
        }
        LoadedSound& sound = *NextToLoad();
        const std::string fileName = sound.fileName;
        lock.unlock();
        std::vector<Uint8> samples = sdlbackend::LoadInDeviceFormat(fileName.c_str(), deviceSpec);
        lock.lock();
        sound.samples = std::move(samples);
        sound.ready = true;
        if (wanted == &sound) {
            wanted = nullptr;
            Play(sound);
        }
        changed.notify_all();
    }
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
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = kDeviceRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = kDeviceSamples;
    device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &deviceSpec, SDL_AUDIO_ALLOW_ANY_CHANGE);
    if (device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return;
    }
    SDL_PauseAudioDevice(device, 0);
    loaderStopping = false;
    loader = SDL_CreateThread(LoadFiles, "sound loader", nullptr);
    if (loader == nullptr) {
        CloseSoundDevice();
    }
}

void CloseSoundDevice() {
    if (loader != nullptr) {
        {
            const std::lock_guard lock(guard);
            loaderStopping = true;
        }
        changed.notify_all();
        SDL_WaitThread(loader, nullptr);
        loader = nullptr;
    }
    if (device != 0) {
        SDL_CloseAudioDevice(device);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        device = 0;
    }
    cache.clear();
    wanted = nullptr;
}

std::uint32_t QueuedSoundBytes() { return device == 0 ? 0 : SDL_GetQueuedAudioSize(device); }

std::uint32_t SoundBytes(const char* fileName) {
    if (device == 0 || fileName == nullptr) {
        return 0;
    }
    std::unique_lock lock(guard);
    const LoadedSound& sound = Entry(fileName);
    changed.wait(lock, [&] { return sound.ready; });
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
    if (device == 0 || fileName == nullptr) {
        return;
    }
    const std::lock_guard lock(guard);
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
