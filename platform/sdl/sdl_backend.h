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
// A parent that ignores SIGCHLD hands that on to the program, and its own
// children (a box's zenity, the sound server's question) would be reaped
// before they could be waited for: they are waited for from here on. Before
// any thread starts.
void KeepChildrenWaitable();
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

// Why no box could be shown: empty when there is a display to show one on.
// Otherwise "no display" and what was tried.
std::string NoDisplayForBoxes();
// Why SDL failed to show a box on a display there is, given SDL's error.
std::string BoxFailureReason(const char* sdlError);

// Stops any periodic timer the game left running; returns once none runs.
void StopAllTimers();

// Has the sound device opened on its own thread, and starts the thread that
// loads sound files, once: later calls do nothing. Without a device every
// sound is silent; a device lost, or none at the start, is replaced as soon
// as its server answers. On the main thread.
void OpenSoundDevice();
// The message pump's one call: makes what SDL allows on the main thread
// alone (starting and stopping SDL 3's audio) when the sound thread asks;
// nothing on another thread.
void TendSoundDevice();
// Closes the device and SDL's audio, and ends the loader thread; false when
// the close waits on a server that does not answer: SDL's audio is then
// left open, for the exit to end.
bool CloseSoundDevice();
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
