// Fullscreen on an X server with no window manager. SDL 3 (which serves SDL 2
// programs through sdl2-compat) asks the window manager for the fullscreen
// state, waits for it to be given (sdl2-compat makes SDL wait for every
// window operation) and counts the window as fullscreen only then; with no
// manager to answer, it waits five seconds before the first frame, then
// restores the display mode and plays on in a window at the corner. Where no
// manager runs, nothing else manages the window: the game gives it the state
// itself, as a manager would have, without waiting for an answer that cannot
// come. SDL 2, which never waited, sees a state it already has.
#include <SDL.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <string>

#include "platform/sdl/under_sdl.h"

namespace {

using undersdl::XErrorTrap;
using undersdl::XWindow;
using undersdl::XWindowOf;

// The window that a window property names, or None.
::Window NamedWindow(Display* display, ::Window window, Atom property) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* value = nullptr;
    ::Window named = None;
    if (XGetWindowProperty(display, window, property, 0, 1, False, XA_WINDOW, &type, &format, &count, &after,
                           &value) == Success &&
        type == XA_WINDOW && format == 32 && count == 1) {
        named = *reinterpret_cast<::Window*>(value);
    }
    if (value != nullptr) {
        XFree(value);
    }
    return named;
}

// A window manager that follows the desktop conventions names a window of its
// own on the root window, and that window names itself; one that has died
// leaves the root's name pointing at a window that is gone.
bool ManagerRuns(const XWindow& x) {
    const XErrorTrap trap(x.display);
    const Atom check = XInternAtom(x.display, "_NET_SUPPORTING_WM_CHECK", False);
    const ::Window manager = NamedWindow(x.display, x.root, check);
    const bool named = manager != None && NamedWindow(x.display, manager, check) == manager;
    return named && !trap.Caught();
}

void SetFullscreenState(const XWindow& x, bool fullscreen) {
    const Atom state = XInternAtom(x.display, "_NET_WM_STATE", False);
    if (fullscreen) {
        Atom value = XInternAtom(x.display, "_NET_WM_STATE_FULLSCREEN", False);
        XChangeProperty(x.display, x.window, state, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&value), 1);
    } else {
        XDeleteProperty(x.display, x.window, state);
    }
    XFlush(x.display);
}

// SDL's own hint, by name: SDL 2's headers do not have it.
constexpr const char* kSyncWindowOperations = "SDL_VIDEO_SYNC_WINDOW_OPERATIONS";

// Runs the SDL call that shows the window in fullscreen or takes it out;
// where no manager runs, without SDL's wait, and then sets the state.
template <typename SdlCall>
void ChangeFullscreen(SDL_Window* handle, bool fullscreen, SdlCall call) {
    const XWindow x = XWindowOf(handle);
    if (x.display == nullptr || ManagerRuns(x)) {
        call();
        return;
    }
    const char* before = SDL_GetHint(kSyncWindowOperations);
    const std::string saved = before == nullptr ? std::string() : before;
    SDL_SetHint(kSyncWindowOperations, "0");
    call();
    SetFullscreenState(x, fullscreen);
    SDL_SetHint(kSyncWindowOperations, before == nullptr ? nullptr : saved.c_str());
}

}  // namespace

namespace undersdl {

bool KeyboardWithNoOtherWindow(SDL_Window* handle) {
    const XWindow x = XWindowOf(handle);
    if (x.display == nullptr) {
        return false;
    }
    const XErrorTrap trap(x.display);
    ::Window focus = None;
    int revert = 0;
    XGetInputFocus(x.display, &focus, &revert);
    if (focus == None || focus == PointerRoot || focus == x.root || focus == x.window) {
        return true;
    }
    const Atom check = XInternAtom(x.display, "_NET_SUPPORTING_WM_CHECK", False);
    return focus == NamedWindow(x.display, x.root, check) && !trap.Caught();
}

void ShowFullscreenWindow(SDL_Window* handle) {
    ChangeFullscreen(handle, true, [handle] { SDL_ShowWindow(handle); });
}

void LeaveFullscreen(SDL_Window* handle) {
    ChangeFullscreen(handle, false, [handle] { SDL_SetWindowFullscreen(handle, 0); });
}

}  // namespace undersdl
