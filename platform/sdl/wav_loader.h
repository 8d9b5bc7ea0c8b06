#pragma once

#include <SDL.h>

#include <vector>

namespace sdlbackend {

// The samples of the WAV file `fileName` in the format of `device`, read and
// converted whole; empty when the file cannot be played (missing, not a
// regular file, too large, not a WAV file SDL reads, or not convertible).
// Touches no shared state: safe on any thread.
std::vector<Uint8> LoadInDeviceFormat(const char* fileName, const SDL_AudioSpec& device);

}  // namespace sdlbackend
