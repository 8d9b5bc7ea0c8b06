#define SDL_MAIN_HANDLED
#include <SDL.h>

#include "platform/platform.h"
#include "platform/sdl/sdl_backend.h"
#include "platform/sdl/under_sdl.h"

int main() {
    SDL_SetMainReady();
    sdlbackend::CatchEndSignals();
    sdlbackend::KeepChildrenWaitable();
    // SDL 3 asks its questions through zenity, started without a fork of this
    // program: there the device opens here, as the questions are asked, as it
    // always did. SDL 2 forks for each box, so it opens with the window.
    if (undersdl::ServedBySdl3()) {
        sdlbackend::OpenSoundDevice();
    }
    const int status = GameMain();
    sdlbackend::StopAllTimers();
    if (sdlbackend::CloseSoundDevice()) {
        SDL_Quit();
    } else {
        // SDL_Quit would close the device again, and wait with the server.
        SDL_QuitSubSystem(SDL_INIT_EVERYTHING & ~SDL_INIT_AUDIO);
    }
    return status;
}
