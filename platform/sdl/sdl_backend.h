#pragma once

#include <cstdint>
#include <string>

// What the SDL backend's own start and end (main.cpp) and its tests need of
// its parts; the game reaches all of them through platform.h only.
namespace sdlbackend {

// Takes over SIGINT, SIGTERM and SIGHUP from SDL. A signal while the game
// runs is a close request (TakeEndRequest); one while a question box is up
// takes the box down and ends the program as the signal ends it by default.
void CatchEndSignals();
// True once for each signal received since the last call.
bool TakeEndRequest();
// Marks a question box as shown for as long as it lives.
class BoxShown {
public:
    BoxShown();
    ~BoxShown();
    BoxShown(const BoxShown&) = delete;
    BoxShown& operator=(const BoxShown&) = delete;
};

// Whether SDL 3 serves the game's SDL 2 calls (through sdl2-compat).
bool ServedBySdl3();

// Why no box could be shown: empty when there is a display to show one on.
// Otherwise "no display" and what was tried.
std::string NoDisplayForBoxes();
// Why SDL failed to show a box on a display there is, given SDL's error.
std::string BoxFailureReason(const char* sdlError);

// Stops any periodic timer the game left running; returns once none runs.
void StopAllTimers();

// Opens the sound device and starts the thread that loads sound files,
// once: later calls do nothing. Without a device every sound is silent; a
// device lost later is replaced as soon as another opens. On the main thread.
void OpenSoundDevice();
// The main thread's care of the device, at each message it takes: closes a
// device that is lost, and opens another once its server answers again.
void TendSoundDevice();
// Closes the device and SDL's audio, and ends the loader thread.
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
