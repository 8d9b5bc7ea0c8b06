#include "platform/sdl/under_sdl.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <cstring>

namespace undersdl {
namespace {

unsigned long errorsCaught = 0;
Display* videoDisplay = nullptr;

int CountError(Display*, XErrorEvent*) {
    ++errorsCaught;
    return 0;
}

}  // namespace

// sdl2-compat loads SDL 3 to serve the SDL 2 calls.
bool ServedBySdl3() {
    void* sdl3 = dlopen("libSDL3.so.0", RTLD_LAZY | RTLD_NOLOAD);
    if (sdl3 != nullptr) {
        dlclose(sdl3);
    }
    return sdl3 != nullptr;
}

namespace {

bool VideoDriverIs(const char* name) {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver != nullptr && std::strcmp(driver, name) == 0;
}

}  // namespace

bool OnX11() { return VideoDriverIs("x11"); }

bool OnWayland() { return VideoDriverIs("wayland"); }

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

Display* SdlXDisplay() {
    if (videoDisplay == nullptr && OnX11()) {
        // SDL names its X connection only through a window: a hidden one,
        // without GL, asks the server for nothing that may fail.
        SDL_Window* probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_HIDDEN);
        if (probe != nullptr) {
            videoDisplay = XWindowOf(probe).display;
            SDL_DestroyWindow(probe);
        }
    }
    return videoDisplay;
}

void VideoEnded() { videoDisplay = nullptr; }

XErrorTrap::XErrorTrap(Display* display)
    : display_(display),
      replaced_(reinterpret_cast<void (*)()>(XSetErrorHandler(CountError))),
      errorsBefore_(errorsCaught) {}

XErrorTrap::~XErrorTrap() {
    Caught();
    XSetErrorHandler(reinterpret_cast<XErrorHandler>(replaced_));
}

bool XErrorTrap::Caught() const {
    if (display_ != nullptr) {
        XSync(display_, False);
    }
    return errorsCaught != errorsBefore_;
}

}  // namespace undersdl
