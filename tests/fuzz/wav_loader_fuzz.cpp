// libFuzzer target: any bytes as a sound file a player put in the game's
// folder, through the loader the game runs on it: the size and file-type
// checks, SDL's WAV reader and the conversion to the device's format. The
// bytes go to a real file, as the loader reads files by name.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "platform/sdl/wav_loader.h"

namespace {

std::string folder;
std::string soundFile;

// The game takes whatever format the device offers; these cover converting
// to another sample type, channel count and rate.
SDL_AudioSpec Device(SDL_AudioFormat format, Uint8 channels, int rate) {
    SDL_AudioSpec device{};
    device.format = format;
    device.channels = channels;
    device.freq = rate;
    return device;
}
const SDL_AudioSpec kDevices[] = {Device(AUDIO_S16SYS, 2, 44100), Device(AUDIO_F32SYS, 2, 48000),
                                  Device(AUDIO_U8, 1, 22050)};

// SDL, from Debian, carries no coverage instrumentation: libFuzzer sees only
// the loader's own branches, and would keep a single input for every WAV
// format. These counters tell it which format an input declares and how many
// bytes came out for each device, so that it keeps inputs reaching each of
// SDL's readers and conversions.
constexpr std::uint16_t kFormatTags[] = {0x0001, 0x0002, 0x0003, 0x0006, 0x0007, 0x0011, 0xFFFE};
constexpr std::size_t kFormats = std::size(kFormatTags) + 1;  // the last for any other
constexpr std::size_t kSizeClasses = 33;                      // none, then one for each bit length
__attribute__((used, section("__libfuzzer_extra_counters"))) std::uint8_t
    reached[kFormats][std::size(kDevices)][kSizeClasses];

// The format tag of the first "fmt " chunk, searched for rather than walked to.
std::size_t FormatOf(const std::uint8_t* data, std::size_t size) {
    const void* found = size >= 10 ? memmem(data, size - 2, "fmt ", 4) : nullptr;
    if (found == nullptr || static_cast<const std::uint8_t*>(found) + 10 > data + size) {
        return kFormats - 1;
    }
    const std::uint8_t* tag = static_cast<const std::uint8_t*>(found) + 8;
    const std::uint16_t value = static_cast<std::uint16_t>(tag[0] | tag[1] << 8);
    const auto known = std::find(std::begin(kFormatTags), std::end(kFormatTags), value);
    return static_cast<std::size_t>(known - std::begin(kFormatTags));
}

std::size_t SizeClass(std::size_t bytes) { return bytes == 0 ? 0 : std::bit_width(bytes); }

void RemoveFolder() {
    unlink(soundFile.c_str());
    rmdir(folder.c_str());
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/zarvo-wav-fuzz.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    folder = pattern;
    soundFile = folder + "/miss.wav";
    std::atexit(RemoveFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = open(soundFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || !WriteAll(fd, data, size) || close(fd) != 0) {
        std::perror(soundFile.c_str());
        std::abort();
    }
    const std::size_t format = FormatOf(data, size);
    for (std::size_t device = 0; device < std::size(kDevices); ++device) {
        const std::size_t bytes = sdlbackend::LoadInDeviceFormat(soundFile.c_str(), kDevices[device]).size();
        reached[format][device][SizeClass(bytes)] = 1;
    }
    return 0;
}
