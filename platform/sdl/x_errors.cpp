#include "platform/sdl/x_errors.h"

#include <SDL_syswm.h>

namespace sdlwindow {
namespace {

unsigned long errorsCaught = 0;

int CountError(Display*, XErrorEvent*) {
    ++errorsCaught;
    return 0;
}

}  // namespace

XWindow XWindowOf(SDL_Window* handle) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    XWindow found;
    XWindowAttributes attributes{};
    if (handle != nullptr && SDL_GetWindowWMInfo(handle, &info) && info.subsystem == SDL_SYSWM_X11 &&
        XGetWindowAttributes(info.info.x11.display, info.info.x11.window, &attributes)) {
        found = {info.info.x11.display, info.info.x11.window, attributes.root};
    }
    return found;
}

XErrorTrap::XErrorTrap(Display* display)
    : display_(display), replaced_(XSetErrorHandler(CountError)), errorsBefore_(errorsCaught) {}

XErrorTrap::~XErrorTrap() {
    Caught();
    XSetErrorHandler(replaced_);
}

bool XErrorTrap::Caught() const {
    if (display_ != nullptr) {
        XSync(display_, False);
    }
    return errorsCaught != errorsBefore_;
}

}  // namespace sdlwindow
