#include "platform/sdl/sound_device.h"

namespace sdlbackend {
namespace {

constexpr int kDeviceRate = 44100;
// 11.6 ms a buffer. With 1024 a sound reached a PulseAudio sink about 30 ms
// after it was asked for, with 512 about 12 ms (PipeWire: 29 and 24 ms). The
// price is less slack: on a loaded machine it left more gaps.
constexpr Uint16 kDeviceSamples = 512;
// SDL 2 tries PulseAudio before PipeWire, so on a PipeWire server it would
// go through pipewire-pulse, which adds about 10 ms before a sound is heard.
constexpr char kPreferredDriver[] = "pipewire";
// On SDL's PipeWire driver, whose buffer sets the stream's latency in the
// graph, half as many: a sound reached the sink 13 ms after it was asked for
// against 16.5 ms with 512, with no more gaps (a minute each, in turn, at
// load 4 to 5 on 2 cores).
constexpr Uint16 kPipeWireSamples = 256;

// The driver of the first device. A lost device is looked for on it alone:
// another (ALSA, with the server gone) would complain on standard error at
// every try, or take the sound card from the server coming back.
std::string driver;

SoundDevice OpenOnCurrentDriver() {
    SDL_AudioSpec wanted{};
    wanted.freq = kDeviceRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = std::string(SDL_GetCurrentAudioDriver()) == kPreferredDriver ? kPipeWireSamples : kDeviceSamples;
    SoundDevice device;
    device.id = SDL_OpenAudioDevice(nullptr, 0, &wanted, &device.spec, SDL_AUDIO_ALLOW_ANY_CHANGE);
    if (device.id != 0) {
        SDL_PauseAudioDevice(device.id, 0);
    }
    return device;
}

// SDL's audio started (on the driver its hint names, or in SDL's order) and
// a device opened on it; none, and SDL's audio closed again, when either
// fails or, with onlyWithOutputs, when the driver lists no output device (a
// PipeWire server that carries no sound, beside PulseAudio).
SoundDevice StartAndOpen(bool onlyWithOutputs) {
    if (!DriverStep([] { return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0; })) {
        return {};
    }
    const SoundDevice device = onlyWithOutputs && !AnyOutputDevice() ? SoundDevice{} : OpenOnCurrentDriver();
    if (device.id == 0) {
        DriverStep([] {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return true;
        });
    }
    return device;
}

}  // namespace

SoundDevice OpenFirstSoundDevice() {
    SoundDevice device;
    if (SDL_GetHint(SDL_HINT_AUDIODRIVER) == nullptr) {
        SDL_SetHint(SDL_HINT_AUDIODRIVER, kPreferredDriver);
        device = StartAndOpen(true);
        SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    }
    if (device.id == 0) {
        device = StartAndOpen(false);
    }
    if (device.id != 0) {
        driver = SDL_GetCurrentAudioDriver();
    }
    return device;
}

const std::string& SoundDriver() { return driver; }

bool SoundDeviceStopped(const SoundDevice& device) {
    return SDL_GetAudioDeviceStatus(device.id) == SDL_AUDIO_STOPPED;
}

bool AnyOutputDevice() { return SDL_GetNumAudioDevices(0) > 0; }

// The driver rather than the subsystem, which stays started for the driver
// named again.
void CloseLostSoundDevice(const SoundDevice& device) {
    SDL_CloseAudioDevice(device.id);
    DriverStep([] {
        SDL_AudioQuit();
        return true;
    });
}

SoundDevice OpenSoundDeviceAgain() {
    if (driver.empty()) {
        return OpenFirstSoundDevice();
    }
    if (!DriverStep([] { return SDL_AudioInit(driver.c_str()) == 0; })) {
        return {};
    }
    const SoundDevice device = OpenOnCurrentDriver();
    if (device.id == 0) {
        DriverStep([] {
            SDL_AudioQuit();
            return true;
        });
    }
    return device;
}

void CloseSoundDeviceAtEnd(const SoundDevice& device) {
    if (device.id != 0) {
        SDL_CloseAudioDevice(device.id);
    }
}

void StopSoundDriver() {
    if (!driver.empty()) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        driver.clear();
    }
}

bool SameFormat(const SDL_AudioSpec& a, const SDL_AudioSpec& b) {
    return a.freq == b.freq && a.format == b.format && a.channels == b.channels;
}

}  // namespace sdlbackend
