// Reading a WAV file into the sound device's format: the one path by which a
// file the player can replace reaches SDL's WAV reader and converter.
#include "platform/sdl/wav_loader.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

namespace sdlbackend {
namespace {

// The game's sounds are short; a larger file is not read at all.
constexpr off_t kMaxFileBytes = 10 * 1024 * 1024;
// Nor is one that would come to more than this in the device's format (about
// six minutes of 16-bit stereo at 44.1 kHz): a file a few bytes long can claim
// a rate of 1 Hz, and SDL's converter wants room for the whole result at once,
// sized in ints.
constexpr std::size_t kMaxDeviceBytes = 64 * 1024 * 1024;

bool IsReadableSize(const char* fileName, off_t* size) {
    struct stat info {};
    // Only a regular file: a directory or a pipe named like a sound is skipped
    // before it could fail late or block.
    if (stat(fileName, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxFileBytes) {
        return false;
    }
    *size = info.st_size;
    return true;
}

Uint32 ReadLe32(const Uint8* at) { return at[0] | at[1] << 8 | at[2] << 16 | static_cast<Uint32>(at[3]) << 24; }

void WriteLe32(Uint8* at, Uint32 value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<Uint8>(value >> (8 * i));
    }
}

// SDL allocates as many bytes as a chunk's header claims before it reads the
// chunk: up to 4 GB for a file of a few bytes. So the first chunk that claims
// more than the file holds is cut to what it holds, all that SDL would have
// read of it anyway. Chunks are walked as SDL walks them: after "RIFF", its
// length and "WAVE", or after a bare "WAVE" (SDL reads those files too), each
// padded to an even length.
void CutChunksToFile(std::vector<Uint8>& file) {
    const std::size_t size = file.size();
    std::size_t first = 0;
    if (size >= 12 && std::memcmp(file.data(), "RIFF", 4) == 0 && std::memcmp(file.data() + 8, "WAVE", 4) == 0) {
        first = 12;
    } else if (size >= 4 && std::memcmp(file.data(), "WAVE", 4) == 0) {
        first = 4;
    } else {
        return;
    }
    for (std::size_t at = first; size - at >= 8;) {
        const Uint32 length = ReadLe32(file.data() + at + 4);
        const std::size_t held = size - at - 8;
        if (length > held) {
            WriteLe32(file.data() + at + 4, static_cast<Uint32>(held));
            return;
        }
        at += 8 + length + (length & 1);
        if (at > size) {
            return;
        }
    }
}

// Empty when the file cannot be read, or has grown past the size it was
// measured at.
std::vector<Uint8> ReadFile(const char* fileName, off_t size) {
    std::vector<Uint8> bytes;
    std::FILE* file = std::fopen(fileName, "rb");
    if (file == nullptr) {
        return bytes;
    }
    bytes.resize(static_cast<std::size_t>(size) + 1);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    if (bytes.size() > static_cast<std::size_t>(size)) {
        bytes.clear();
    }
    return bytes;
}

}  // namespace

std::vector<Uint8> LoadInDeviceFormat(const char* fileName, const SDL_AudioSpec& device) {
    std::vector<Uint8> result;
    off_t size = 0;
    if (!IsReadableSize(fileName, &size)) {
        return result;
    }
    std::vector<Uint8> file = ReadFile(fileName, size);
    if (file.empty()) {
        return result;
    }
    CutChunksToFile(file);
    SDL_AudioSpec fileSpec{};
    Uint8* data = nullptr;
    Uint32 length = 0;
    if (SDL_LoadWAV_RW(SDL_RWFromConstMem(file.data(), static_cast<int>(file.size())), 1, &fileSpec, &data,
                       &length) == nullptr) {
        return result;
    }
    SDL_AudioCVT convert{};
    const int built = SDL_BuildAudioCVT(&convert, fileSpec.format, fileSpec.channels, fileSpec.freq,
                                        device.format, device.channels, device.freq);
    // A truncated file can end inside a sample frame; the converter needs
    // whole frames.
    const Uint32 frameBytes = SDL_AUDIO_BITSIZE(fileSpec.format) / 8 * fileSpec.channels;
    length -= frameBytes == 0 ? length : length % frameBytes;
    const std::size_t room = static_cast<std::size_t>(length) * static_cast<std::size_t>(built >= 0 ? convert.len_mult : 1);
    if (built >= 0 && length > 0 && room <= kMaxDeviceBytes) {
        convert.len = static_cast<int>(length);
        result.resize(room);
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
