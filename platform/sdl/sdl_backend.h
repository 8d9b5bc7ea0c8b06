#pragma once

#include <cstdint>

// What the SDL backend's own start and end (main.cpp) and its tests need of
// its parts; the game reaches all of them through platform.h only.
namespace sdlbackend {

// Stops any periodic timer the game left running; returns once none runs.
void StopAllTimers();

// Opens the sound device and starts the thread that loads sound files,
// once: later calls do nothing. Without a device every sound is silent.
void OpenSoundDevice();
void CloseSoundDevice();
// Bytes of sound still waiting to be played; 0 without a device.
std::uint32_t QueuedSoundBytes();
// Bytes that a sound file came to in the device's format, once loaded (it
// waits for that): 0 when it cannot be played (missing, unreadable, too large,
// not a WAV file, or no device).
std::uint32_t SoundBytes(const char* fileName);
// While held, the loader starts no new file: lets a test catch a sound that
// has been asked for but not read yet.
void HoldSoundLoading(bool held);

}  // namespace sdlbackend
