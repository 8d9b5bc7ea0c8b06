#pragma once

#include <SDL.h>

// The audio device the game's sounds play on, opened in the game's format.
// None of these may run on two threads at once.
namespace sdlbackend {

struct SoundDevice {
    SDL_AudioDeviceID id = 0;  // 0: none
    SDL_AudioSpec spec{};
};

// Starts SDL's audio and opens a device on the first driver that starts;
// none (and SDL's audio closed again) when that driver opens none.
SoundDevice OpenFirstSoundDevice();
// Whether SDL has marked the device stopped: SDL 2 does when its server goes.
bool SoundDeviceStopped(const SoundDevice& device);
// Closes a lost device, and SDL's audio driver with it.
void CloseLostSoundDevice(const SoundDevice& device);
// Starts again the driver the first device was opened on, and opens a
// device on it; none when either fails.
SoundDevice OpenSoundDeviceAgain();
// Closes the device, if one is open, and SDL's audio.
void CloseLastSoundDevice(const SoundDevice& device);
bool SameFormat(const SDL_AudioSpec& a, const SDL_AudioSpec& b);

}  // namespace sdlbackend
