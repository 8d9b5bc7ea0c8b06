// The least a program can do to put a first GL frame on the screen, to time
// the game's first frame against: an SDL2 window of the game's size at the
// screen's corner, a GL context, one clear to the colour given, one swap.
// It then waits until it is asked to end (a signal, or its window closed).
// Usage: zarvo_first_frame_reference R,G,B
#include <SDL.h>
#include <SDL_opengl.h>

#include <cstdio>

int main(int argc, char** argv) {
    int red = 0;
    int green = 0;
    int blue = 0;
    if (argc != 2 || std::sscanf(argv[1], "%d,%d,%d", &red, &green, &blue) != 3) {
        std::fprintf(stderr, "usage: %s R,G,B\n", argv[0]);
        return 2;
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_Window* window = SDL_CreateWindow("reference", 0, 0, 1152, 864, SDL_WINDOW_OPENGL);
    SDL_GLContext context = window != nullptr ? SDL_GL_CreateContext(window) : nullptr;
    if (context == nullptr) {
        std::fprintf(stderr, "window: %s\n", SDL_GetError());
        return 1;
    }
    glClearColor(static_cast<float>(red) / 255.0f, static_cast<float>(green) / 255.0f,
                 static_cast<float>(blue) / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    SDL_GL_SwapWindow(window);
    SDL_Event event;
    while (SDL_WaitEvent(&event) != 0 && event.type != SDL_QUIT) {
    }
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
