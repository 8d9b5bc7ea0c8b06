#define SDL_MAIN_HANDLED
#include <SDL.h>

#include "platform/platform.h"
#include "platform/sdl/sdl_backend.h"

int main() {
    SDL_SetMainReady();
    sdlbackend::CatchEndSignals();
    // The device is opened here rather than at the first sound, so that a slow
    // or failing sound system never holds up a frame.
    sdlbackend::OpenSoundDevice();
    const int status = GameMain();
    sdlbackend::StopAllTimers();
    sdlbackend::CloseSoundDevice();
    SDL_Quit();
    return status;
}
