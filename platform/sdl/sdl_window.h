#pragma once

#include <SDL.h>

#include "platform/platform.h"

namespace platform {

// The window's own device context, as a class with its own DC gives it.
struct DeviceContext {
    Window* window = nullptr;
    int colorBits = 0;  // colour bits the window's GL format was chosen with
    int depthBits = 0;
    bool formatSet = false;
};

struct Window {
    SDL_Window* handle = nullptr;
    bool changesMode = false;  // fullscreen in the mode ChangeDisplayMode found
    bool framed = false;
    int left = 0;  // where the frame's outer corner goes
    int top = 0;
    DeviceContext dc;
    // What fullscreen play knows to take its mode back after SDL gave it away.
    struct {
        bool hadKeyboard = false;
        bool keyboardLost = false;
        bool minimisedToTakeModeBack = false;
    } keeping;
};

}  // namespace platform

namespace sdlwindow {

// The one game window, or null; the event pump addresses its messages to it.
inline platform::Window* current = nullptr;
// Given each of the window's events, to keep fullscreen play in its mode; set
// by the window code, which the event pump's own tests are linked without.
inline void (*keepMode)(platform::Window* window, Uint8 windowEvent) = nullptr;

}  // namespace sdlwindow
