// The floor for the game's frame rate: a window of the game's size that only
// clears and swaps, on the same display and GL as the game. Prints the frames
// per second it reached, after the GL renderer's name. Usage: zarvo_swap_floor [seconds]
#include <SDL.h>
#include <SDL_opengl.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_Window* window = SDL_CreateWindow("floor", 0, 0, 1152, 864, SDL_WINDOW_OPENGL);
    SDL_GLContext context = window != nullptr ? SDL_GL_CreateContext(window) : nullptr;
    if (context == nullptr) {
        std::fprintf(stderr, "window: %s\n", SDL_GetError());
        return 1;
    }
    std::printf("renderer %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    const Uint64 frequency = SDL_GetPerformanceFrequency();
    const Uint64 start = SDL_GetPerformanceCounter();
    long frames = 0;
    double elapsed = 0.0;
    while (elapsed < seconds) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
        }
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        SDL_GL_SwapWindow(window);
        ++frames;
        elapsed = static_cast<double>(SDL_GetPerformanceCounter() - start) / static_cast<double>(frequency);
    }
    std::printf("frames_per_second %.1f\n", static_cast<double>(frames) / elapsed);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
