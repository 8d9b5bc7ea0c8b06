#pragma once

#include <SDL.h>

#include <functional>
#include <string>

// The audio device the game's sounds play on, opened in the game's format:
// which of SDL's drivers, and the SDL calls that start and stop it and open
// and close a device on it. Each can wait on a sound server; the device's
// life (sound_life.h) makes them on its own thread, and hands those that
// start and stop SDL's audio to the thread SDL allows (DriverStep).
namespace sdlbackend {

struct SoundDevice {
    SDL_AudioDeviceID id = 0;  // 0: none
    SDL_AudioSpec spec{};
};

// Runs a step that starts or stops SDL's audio where SDL allows it, and
// returns what it returned; false when it could not be run (the program
// ending). Given by the device's life.
bool DriverStep(const std::function<bool()>& step);

// Starts SDL's audio and opens a device: on SDL's own PipeWire driver where
// a PipeWire server answers with an output device, else on the first driver
// that starts; none (and SDL's audio stopped again) when that driver opens
// none. A driver the player names (SDL_AUDIODRIVER) is the only one tried.
SoundDevice OpenFirstSoundDevice();
// The driver the first device was opened on; empty before.
const std::string& SoundDriver();
// Whether SDL has marked the device stopped: SDL 2 does when its server goes.
bool SoundDeviceStopped(const SoundDevice& device);
// Whether SDL lists any output device.
bool AnyOutputDevice();
// Closes a lost device, and SDL's audio driver with it. The close waits for
// SDL's audio thread, which waits on the server.
void CloseLostSoundDevice(const SoundDevice& device);
// Starts again the driver the first device was opened on (the first
// device's choice while there has been none), and opens a device on it;
// none when either fails.
SoundDevice OpenSoundDeviceAgain();
// Closes the device, if one is open.
void CloseSoundDeviceAtEnd(const SoundDevice& device);
// Stops SDL's audio, if started. On the main thread, with no device open.
void StopSoundDriver();
bool SameFormat(const SDL_AudioSpec& a, const SDL_AudioSpec& b);

}  // namespace sdlbackend
