// WAV playback by file name on one SDL audio device. Playing a sound cuts off
// the one still playing, as asynchronous playback on Windows does.
#include <SDL.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sdl/sdl_backend.h"

namespace {

// The game's sounds are short; a larger file is not read at all.
constexpr off_t kMaxFileBytes = 10 * 1024 * 1024;
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
};

std::vector<LoadedSound> cache;

bool IsReadableSize(const char* fileName) {
    struct stat info {};
    // Only a regular file: a directory or a pipe named like a sound is skipped
    // before it could fail late or block.
    return stat(fileName, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxFileBytes;
}

std::vector<Uint8> LoadInDeviceFormat(const char* fileName) {
    std::vector<Uint8> result;
    if (device == 0 || !IsReadableSize(fileName)) {
        return result;
    }
    SDL_AudioSpec fileSpec{};
    Uint8* data = nullptr;
    Uint32 length = 0;
    if (SDL_LoadWAV(fileName, &fileSpec, &data, &length) == nullptr) {
        return result;
    }
    SDL_AudioCVT convert{};
    const int built = SDL_BuildAudioCVT(&convert, fileSpec.format, fileSpec.channels, fileSpec.freq,
                                        deviceSpec.format, deviceSpec.channels, deviceSpec.freq);
    // A truncated file can end inside a sample frame; the converter needs
    // whole frames.
    const Uint32 frameBytes = SDL_AUDIO_BITSIZE(fileSpec.format) / 8 * fileSpec.channels;
    length -= frameBytes == 0 ? length : length % frameBytes;
    if (built >= 0 && length > 0) {
        convert.len = static_cast<int>(length);
        result.resize(static_cast<std::size_t>(length) * static_cast<std::size_t>(convert.len_mult));
        std::memcpy(result.data(), data, length);
        convert.buf = result.data();
        if (built == 0 || SDL_ConvertAudio(&convert) == 0) {
            result.resize(static_cast<std::size_t>(built == 0 ? length : convert.len_cvt));
        } else {
            result.clear();
        }
    }
    SDL_FreeWAV(data);
    return result;
}

// Each file is read at its first play and kept: reading again at every
// bounce would hold up frames on the disk. A file that could not be played
// then stays silent for the rest of the run.
const std::vector<Uint8>& SoundFor(const char* fileName) {
    for (const LoadedSound& sound : cache) {
        if (sound.fileName == fileName) {
            return sound.samples;
        }
    }
    if (cache.size() == kMaxCachedFiles) {
        cache.erase(cache.begin());
    }
    cache.push_back(LoadedSound{fileName, LoadInDeviceFormat(fileName)});
    return cache.back().samples;
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
}

void CloseSoundDevice() {
    if (device != 0) {
        SDL_CloseAudioDevice(device);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        device = 0;
    }
    cache.clear();
}

std::uint32_t QueuedSoundBytes() { return device == 0 ? 0 : SDL_GetQueuedAudioSize(device); }

std::uint32_t SoundBytes(const char* fileName) {
    return fileName == nullptr ? 0 : static_cast<std::uint32_t>(SoundFor(fileName).size());
}

}  // namespace sdlbackend

namespace platform {

void PlaySoundFile(const char* fileName) {
    sdlbackend::OpenSoundDevice();
    if (device == 0 || fileName == nullptr) {
        return;
    }
    const std::vector<Uint8>& samples = SoundFor(fileName);
    if (samples.empty()) {
        return;
    }
    SDL_ClearQueuedAudio(device);
    SDL_QueueAudio(device, samples.data(), static_cast<Uint32>(samples.size()));
}

}  // namespace platform
