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
};

}  // namespace platform

namespace sdlwindow {

// The one game window, or null; the event pump addresses its messages to it.
inline platform::Window* current = nullptr;

// Show the fullscreen window, and take it out of fullscreen, as SDL does;
// where no window manager runs, the game gives and takes the fullscreen state
// itself, as a manager would have.
void ShowFullscreenWindow(SDL_Window* handle);
void LeaveFullscreen(SDL_Window* handle);

// Has the keys follow a keyboard layout switched while the game runs.
void FollowLayoutSwitches(SDL_Window* handle);
void StopFollowingLayoutSwitches();

}  // namespace sdlwindow
