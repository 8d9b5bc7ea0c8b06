#pragma once

#include <SDL.h>

#include <string>

// The audio device the game's sounds play on, opened in the game's format.
// SDL's audio is started and stopped on the main thread alone: SDL 3 (under
// sdl2-compat) allows no other, and its event pump reads what starting and
// stopping rewrite.
namespace sdlbackend {

struct SoundDevice {
    SDL_AudioDeviceID id = 0;  // 0: none
    SDL_AudioSpec spec{};
};

// Starts SDL's audio and opens a device: on SDL's own PipeWire driver where
// a PipeWire server answers with an output device, else on the first driver
// that starts; none (and SDL's audio closed again) when that driver opens
// none. A driver the player names (SDL_AUDIODRIVER) is the only one tried.
SoundDevice OpenFirstSoundDevice();
// The driver the first device was opened on; empty before.
const std::string& SoundDriver();
// Whether SDL has marked the device stopped: SDL 2 does when its server goes.
bool SoundDeviceStopped(const SoundDevice& device);
// Whether SDL lists any output device.
bool AnyOutputDevice();
// Closes a lost device, and SDL's audio driver with it.
void CloseLostSoundDevice(const SoundDevice& device);
// Starts again the driver the first device was opened on, and opens a
// device on it; none when either fails.
SoundDevice OpenSoundDeviceAgain();
// Closes the device, if one is open, and SDL's audio.
void CloseLastSoundDevice(const SoundDevice& device);
bool SameFormat(const SDL_AudioSpec& a, const SDL_AudioSpec& b);

}  // namespace sdlbackend
