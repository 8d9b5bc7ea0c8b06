// Reading a WAV file into the sound device's format: the one path by which a
// file the player can replace reaches SDL's WAV reader and converter.
#include "platform/sdl/wav_loader.h"

#include <sys/stat.h>

#include <cstring>

namespace sdlbackend {
namespace {

// The game's sounds are short; a larger file is not read at all.
constexpr off_t kMaxFileBytes = 10 * 1024 * 1024;

bool IsReadableSize(const char* fileName) {
    struct stat info {};
    // Only a regular file: a directory or a pipe named like a sound is skipped
    // before it could fail late or block.
    return stat(fileName, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxFileBytes;
}

}  // namespace

std::vector<Uint8> LoadInDeviceFormat(const char* fileName, const SDL_AudioSpec& device) {
    std::vector<Uint8> result;
    if (!IsReadableSize(fileName)) {
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
                                        device.format, device.channels, device.freq);
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

}  // namespace sdlbackend
