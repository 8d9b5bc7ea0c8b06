#pragma once

#include <SDL.h>

#include "platform/platform.h"

// Xlib's names, declared as Xlib does, so that this header does not bring in
// its macros (None, Status, Bool) where SDL 3 is all a file needs to know of.
struct _XDisplay;
typedef struct _XDisplay Display;

// What lies under SDL, in one place: whether SDL 3 serves the game's SDL 2
// calls, the X window under an SDL window, a trap for X errors, and the hooks
// window.cpp calls at each step of the window's life. Where SDL is not on X11
// every hook does nothing, and SDL alone serves the window.
namespace undersdl {

// Whether SDL 3 serves the game's SDL 2 calls (through sdl2-compat).
bool ServedBySdl3();
// Whether SDL's video runs on X11; on Wayland.
bool OnX11();
bool OnWayland();

// The X connection and window under an SDL window; empty where SDL is not on X11.
struct XWindow {
    Display* display = nullptr;
    unsigned long window = 0;  // X's Window, 0 for none
    unsigned long root = 0;
};
XWindow XWindowOf(SDL_Window* handle);
// SDL's own X connection while its video runs on X11, else null.
Display* SdlXDisplay();

// While a trap is set, an X error counts against it instead of ending the
// program, as Xlib's own handler would: a request that names a window gone
// meanwhile, or a GL context the server will not make. Traps nest; set and
// read them on the main thread.
class XErrorTrap {
public:
    // The display whose requests it watches may be given later, once known.
    explicit XErrorTrap(Display* display = nullptr);
    // Lets the server answer what was sent within the trap, then lifts it.
    ~XErrorTrap();
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

    void Watch(Display* display) { display_ = display; }
    // Waits for the server's answer to every request sent so far on the
    // display watched, then tells whether any failed since the trap was set.
    bool Caught() const;

private:
    Display* display_;
    void (*replaced_)();  // Xlib's handler it replaced, as any function
    unsigned long errorsBefore_;
};

// ---- the hooks, each called once by window.cpp at that step ----

// The game window was made: the keys follow a keyboard layout switched while
// it lives, and it is told of changes of the X screen's size or monitors.
void WindowMade(SDL_Window* handle);
// The game window is about to be destroyed.
void WindowGoing();
// SDL's video has ended: its X connection is forgotten.
void VideoEnded();
// Show the fullscreen window, and take it out of fullscreen, as SDL does;
// where no window manager runs, the game gives and takes the fullscreen state
// itself, as a manager would have.
void ShowFullscreenWindow(SDL_Window* handle);
void LeaveFullscreen(SDL_Window* handle);
// Whether the X keyboard focus is with no other program's window: none, the
// root window, the window itself, or the window manager's own window, where a
// manager parks the focus that no client has (as one starting up does).
bool KeyboardWithNoOtherWindow(SDL_Window* handle);
// The monitor that holds most of the window (the primary one for a null
// window) as the X server's RandR monitors have it; false where the server
// has no RandR 1.5.
bool XMonitorAreas(SDL_Window* handle, platform::MonitorAreas* areas);
// Moves and sizes the X window itself: SDL leaves the size of a fullscreen
// window to a window manager, and where none runs nothing sizes it.
void XPlaceWindow(SDL_Window* handle, int left, int top, int width, int height);

// The event that tells the event pump of a change of the X screen's size or
// monitors.
Uint32 DisplayChangedEvent();

// ---- the parts' own steps, for the hooks above ----

void FollowLayoutSwitches(SDL_Window* handle);  // keyboard_layout.cpp
void StopFollowingLayoutSwitches();
void FollowScreenChanges(SDL_Window* handle);  // x_screens.cpp
void StopFollowingScreenChanges();

}  // namespace undersdl
