#pragma once

#include <SDL.h>
#include <X11/Xlib.h>

namespace sdlwindow {

// The X connection and window under an SDL window; empty where SDL is not on X11.
struct XWindow {
    Display* display = nullptr;
    ::Window window = None;
    ::Window root = None;
};
XWindow XWindowOf(SDL_Window* handle);

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
    int (*replaced_)(Display*, XErrorEvent*);
    unsigned long errorsBefore_;
};

}  // namespace sdlwindow
