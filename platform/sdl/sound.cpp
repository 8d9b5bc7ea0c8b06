// WAV playback by file name on the game's sound device (sound_life.h).
// Playing a sound cuts off the one still playing, as asynchronous playback
// on Windows does.
//
// Files are read and converted on a loader thread, never in the frame: a
// large or slow file would otherwise hold up frames for as long as it takes.
// A file asked for before it is ready plays as soon as it is, unless another
// sound has been asked for since, or the device has changed. Sounds asked
// for while there is no device are dropped.
#include <SDL.h>

#include <chrono>
#include <list>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sdl/sdl_backend.h"
#include "platform/sdl/sound_life.h"
#include "platform/sdl/wav_loader.h"

namespace sdlbackend {
namespace {

// Files kept after their first play; the game has three.
constexpr std::size_t kMaxCachedFiles = 16;

struct LoadedSound {
    std::string fileName;
    std::vector<Uint8> samples;  // in `format`; empty when unplayable
    SDL_AudioSpec format{};
    bool ready = false;
};

// All below is guarded by SoundGuard(), which the loader does not hold while
// a file is read. Never destroyed, as the device's life.
std::list<LoadedSound>& cache = *new std::list<LoadedSound>;  // a list: the loader keeps a reference across a load
LoadedSound* wanted = nullptr;  // asked for while loading: played once ready on the same device
SDL_AudioDeviceID wantedOn = 0;
bool loaderHeld = false;
bool loaderStopping = false;
// An SDL thread rather than a std::thread: SDL frees the per-thread error
// text that a failed load leaves only for threads it started itself.
SDL_Thread* loader = nullptr;

// With the guard held: ready for the device open now.
bool ReadyFor(const LoadedSound& sound, const SoundDevice& device) {
    return sound.ready && SameFormat(sound.format, device.spec);
}

// With the guard held and a device open.
LoadedSound* NextToLoad() {
    for (LoadedSound& sound : cache) {
        if (!ReadyFor(sound, CurrentSoundDevice())) {
            return &sound;
        }
    }
    return nullptr;
}

// With the guard held. An unplayable sound leaves the one playing alone.
void Play(const LoadedSound& sound) {
    if (!sound.samples.empty()) {
        QueueSound(sound.samples.data(), static_cast<std::uint32_t>(sound.samples.size()));
    }
}

int RunLoader(void*) {
    std::unique_lock lock(SoundGuard());
    for (;;) {
        SoundChanged().wait(lock, [] {
            return loaderStopping || (CurrentSoundDevice().id != 0 && !loaderHeld && NextToLoad() != nullptr);
        });
        if (loaderStopping) {
            return 0;
        }
        LoadedSound& sound = *NextToLoad();
        const std::string fileName = sound.fileName;
        const SDL_AudioSpec readFor = CurrentSoundDevice().spec;
        lock.unlock();
        std::vector<Uint8> samples = LoadInDeviceFormat(fileName.c_str(), readFor);
        lock.lock();
        const SoundDevice& device = CurrentSoundDevice();
        if (device.id == 0 || !SameFormat(readFor, device.spec)) {
            continue;  // read for a device that has gone: read again for the next
        }
        sound.samples = std::move(samples);
        sound.format = readFor;
        sound.ready = true;
        if (wanted == &sound) {
            wanted = nullptr;
            if (wantedOn == device.id) {
                Play(sound);
            }
        }
        SoundChanged().notify_all();
    }
}

// With the guard held. Each file is read once and kept: reading again at every
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
    cache.push_back(LoadedSound{fileName, {}, {}, false});
    SoundChanged().notify_all();
    return cache.back();
}

void StartLoader() {
    const std::lock_guard lock(SoundGuard());
    if (loader == nullptr && !loaderStopping) {
        loader = SDL_CreateThread(RunLoader, "sound loader", nullptr);
    }
}

}  // namespace

void OpenSoundDevice() {
    StartSoundLife();
    StartLoader();
}

bool CloseSoundDevice() {
    {
        const std::lock_guard lock(SoundGuard());
        loaderStopping = true;
    }
    SoundChanged().notify_all();
    if (loader != nullptr) {
        SDL_WaitThread(loader, nullptr);  // a file being read is read to its end
        loader = nullptr;
    }
    const bool closed = EndSoundLife();
    const std::lock_guard lock(SoundGuard());
    cache.clear();
    wanted = nullptr;
    return closed;
}

std::uint32_t QueuedSoundBytes() {
    const std::lock_guard lock(SoundGuard());
    const SoundDevice& device = CurrentSoundDevice();
    return device.id == 0 ? 0 : SDL_GetQueuedAudioSize(device.id);
}

std::uint32_t SoundBytes(const char* fileName) {
    std::unique_lock lock(SoundGuard());
    // The first device's open is awaited: it is made on the sound thread,
    // which may need the main thread meanwhile (SDL 3).
    while (!SoundChanged().wait_for(lock, std::chrono::milliseconds(10),
                                    [] { return CurrentSoundState() != SoundState::None || loaderStopping; })) {
        lock.unlock();
        TendSoundDevice();
        lock.lock();
    }
    if (CurrentSoundDevice().id == 0 || fileName == nullptr) {
        return 0;
    }
    const SDL_AudioDeviceID on = CurrentSoundDevice().id;
    const LoadedSound& sound = Entry(fileName);
    SoundChanged().wait(lock, [&] { return ReadyFor(sound, CurrentSoundDevice()) || CurrentSoundDevice().id != on; });
    return CurrentSoundDevice().id == on ? static_cast<std::uint32_t>(sound.samples.size()) : 0;
}

void HoldSoundLoading(bool held) {
    {
        const std::lock_guard lock(SoundGuard());
        loaderHeld = held;
    }
    SoundChanged().notify_all();
}

}  // namespace sdlbackend

namespace platform {

void PlaySoundFile(const char* fileName) {
    sdlbackend::OpenSoundDevice();
    const std::lock_guard lock(sdlbackend::SoundGuard());
    const sdlbackend::SoundDevice& device = sdlbackend::CurrentSoundDevice();
    if (device.id == 0 || fileName == nullptr) {
        return;
    }
    sdlbackend::LoadedSound& sound = sdlbackend::Entry(fileName);
    if (sdlbackend::ReadyFor(sound, device)) {
        if (!sound.samples.empty()) {
            sdlbackend::wanted = nullptr;
            sdlbackend::Play(sound);
        }
    } else {
        sdlbackend::wanted = &sound;
        sdlbackend::wantedOn = device.id;
    }
}

}  // namespace platform
