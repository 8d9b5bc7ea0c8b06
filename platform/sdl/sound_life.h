#pragma once

#include <SDL.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/sdl/sound_device.h"

// The sound device's life, from the program's start to its end. Its states
// and their rules are in sound_life.cpp; the calls the backend's start, end
// and message pump make on it are in sdl_backend.h.
namespace sdlbackend {

enum class SoundState {
    None,      // not opened yet, or the program ending
    Open,      // playing
    Lost,      // taken off the game, being closed
    Asking,    // no device: the server is asked once a second whether it answers
    Reopened,  // the server answered: a device is being opened on it
};

// Guards what the device's life shares with the file cache (sound.cpp): the
// device and the state. Never held across a call that can wait on a server.
std::mutex& SoundGuard();
// Notified, with SoundGuard, at each change of the device or the state.
std::condition_variable& SoundChanged();

// Starts the sound thread, which opens the first device; once. On the main thread.
void StartSoundLife();
// Ends the sound thread, which closes the device, and stops SDL's audio;
// false when the close waits on its server, which is then left to the
// exit with SDL's audio. On the main thread.
bool EndSoundLife();

// With SoundGuard held.
const SoundDevice& CurrentSoundDevice();
SoundState CurrentSoundState();
// With SoundGuard held and a device open: plays samples in the device's
// format, cutting off the sound still playing.
void QueueSound(const std::uint8_t* samples, std::uint32_t size);

}  // namespace sdlbackend
