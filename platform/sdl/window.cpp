// Window class, display mode, cursor, window, device context and GL context
// on SDL2. The window class stands for SDL's video subsystem: registering it
// starts the video subsystem, unregistering it ends it.
#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "platform/sdl/sdl_backend.h"
#include "platform/sdl/sdl_window.h"
#include "platform/sdl/under_sdl.h"

namespace platform {

struct Module {};

struct GlContext {
    SDL_GLContext context;
};

namespace {

Module ownModule;
bool classRegistered = false;

// The mode that ChangeDisplayMode found; the fullscreen window switches the
// display to it when it is shown.
bool modeChanged = false;
SDL_DisplayMode changedMode{};

constexpr int kDisplay = 0;
constexpr int kColorChannelBits = 8;
// Three 8-bit channels in 32-bit pixels.
constexpr int kPixelBits = 32;

bool SameDepth(const SDL_DisplayMode& mode, int bitsPerPixel) {
    const int modeBits = static_cast<int>(SDL_BITSPERPIXEL(mode.format));
    // A 32-bit request is met by 24-bit colour stored in 32-bit pixels, which
    // is how X servers report their 32-bit modes.
    return modeBits == bitsPerPixel || (modeBits >= 24 && bitsPerPixel >= 24);
}

// SDL reports success for any mode and then takes the nearest one, so only a
// mode the display lists exactly is accepted.
bool FindMode(int width, int height, int bitsPerPixel, SDL_DisplayMode* found) {
    const int count = SDL_GetNumDisplayModes(kDisplay);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode{};
        if (SDL_GetDisplayMode(kDisplay, i, &mode) == 0 && mode.w == width && mode.h == height &&
            SameDepth(mode, bitsPerPixel)) {
            *found = mode;
            return true;
        }
    }
    return false;
}

void SetGlAttributes(int depthBits) {
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, kColorChannelBits);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, kColorChannelBits);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, kColorChannelBits);
    // No alpha, stencil or accumulation bits are asked for, as on Windows.
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depthBits);
}

// SDL places the client area; where a window manager has added a frame, the
// client area moves so that the frame's corner is where the window goes.
void PutFrameCorner(Window* window, const ScreenRect& frame) {
    SDL_SetWindowPosition(window->handle, window->left + frame.left, window->top + frame.top);
}

// SDL gives the desktop's mode back as a fullscreen window loses the keyboard,
// asks the manager to minimise it, and sets the game's mode again when the
// window is restored. A window manager replaced during play (a desktop's
// shell restarting) takes the keyboard away as it goes: no manager minimises
// the window, and the new one offers it the keyboard in the desktop's mode.
// The game then has it minimised and restored, as the player would, and SDL
// sets the mode. A window the player left is minimised, or not offered the
// keyboard.
void KeepMode(Window* window, Uint8 windowEvent) {
    if (!window->changesMode || !modeChanged) {
        return;
    }
    auto& keeping = window->keeping;
    switch (windowEvent) {
        case SDL_WINDOWEVENT_FOCUS_LOST:
            // Not as the window first shows, before it ever had the keyboard.
            keeping.keyboardLost = keeping.hadKeyboard;
            return;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            keeping.hadKeyboard = true;
            keeping.keyboardLost = false;
            return;
        case SDL_WINDOWEVENT_MINIMIZED:
            // Minimised at SDL's request with the keyboard gone to no other
            // window: a new manager carried out what SDL asked of the old one.
            if (keeping.minimisedToTakeModeBack ||
                (keeping.keyboardLost && undersdl::KeyboardWithNoOtherWindow(window->handle))) {
                keeping.minimisedToTakeModeBack = false;
                SDL_RestoreWindow(window->handle);
            }
            return;
        case SDL_WINDOWEVENT_TAKE_FOCUS:
            break;
        default:
            return;
    }
    if (!keeping.keyboardLost) {
        return;
    }
    if ((SDL_GetWindowFlags(window->handle) & SDL_WINDOW_MINIMIZED) != 0) {
        SDL_RestoreWindow(window->handle);
        return;
    }
    SDL_DisplayMode mode{};
    if (SDL_GetCurrentDisplayMode(kDisplay, &mode) != 0 || (mode.w == changedMode.w && mode.h == changedMode.h)) {
        return;
    }
    keeping.minimisedToTakeModeBack = true;
    SDL_MinimizeWindow(window->handle);
}

}  // namespace

Module* GetOwnModule() { return &ownModule; }

bool RegisterWindowClass(Module* module) {
    if (module != &ownModule || classRegistered) {
        return false;
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        return false;
    }
    classRegistered = true;
    return true;
}

bool UnregisterWindowClass(Module* module) {
    // As on Windows, a class still in use by a window stays registered.
    if (module != &ownModule || !classRegistered || sdlwindow::current != nullptr) {
        return false;
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    undersdl::VideoEnded();
    classRegistered = false;
    return true;
}

bool ChangeDisplayMode(int width, int height, int bitsPerPixel) {
    if (!classRegistered) {
        return false;
    }
    if (!FindMode(width, height, bitsPerPixel, &changedMode)) {
        return false;
    }
    modeChanged = true;
    return true;
}

void RestoreDisplayMode() {
    if (sdlwindow::current != nullptr && sdlwindow::current->changesMode) {
        undersdl::LeaveFullscreen(sdlwindow::current->handle);
        sdlwindow::current->changesMode = false;
    }
    modeChanged = false;
}

void ShowMouseCursor(bool show) {
    if (classRegistered) {
        SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
    }
}

bool GetMonitorAreas(Window* window, MonitorAreas* areas) {
    if (!classRegistered) {
        return false;
    }
    SDL_Window* handle = window == nullptr ? nullptr : window->handle;
    if (undersdl::OnX11()) {
        return undersdl::XMonitorAreas(handle, areas);
    }
    const int display = handle == nullptr ? kDisplay : std::max(SDL_GetWindowDisplayIndex(handle), 0);
    SDL_Rect bounds{};
    SDL_Rect usable{};
    if (SDL_GetDisplayBounds(display, &bounds) != 0 || SDL_GetDisplayUsableBounds(display, &usable) != 0) {
        return false;
    }
    areas->whole = {bounds.x, bounds.y, bounds.x + bounds.w, bounds.y + bounds.h};
    areas->work = {usable.x, usable.y, usable.x + usable.w, usable.y + usable.h};
    if (undersdl::OnWayland()) {
        // A Wayland client learns neither the panels nor its own frame (SDL's
        // usable bounds are the whole output), and the compositor places the
        // window: room is kept for a title bar and a panel on any side.
        constexpr int kWaylandReserveX = 32;
        constexpr int kWaylandReserveY = 96;
        areas->work = {usable.x + kWaylandReserveX / 2, usable.y + kWaylandReserveY / 2,
                       usable.x + usable.w - kWaylandReserveX / 2, usable.y + usable.h - kWaylandReserveY / 2};
    }
    return true;
}

// SDL knows a frame only as the window manager tells it, once the window is
// shown; SDL 2.26 reads what it was told as it takes its events.
ScreenRect GetFrameMargins(Window* window, WindowStyle) {
    ScreenRect frame;
    if (window == nullptr || !window->framed) {
        return frame;
    }
    SDL_PumpEvents();
    if (SDL_GetWindowBordersSize(window->handle, &frame.top, &frame.left, &frame.bottom, &frame.right) != 0) {
        frame = {};
    }
    return frame;
}

Window* CreateGameWindow(Module* module, const char* title, int left, int top, int clientWidth, int clientHeight,
                         WindowStyle style) {
    if (module != &ownModule || !classRegistered || sdlwindow::current != nullptr) {
        return nullptr;
    }
    constexpr int kDepthBits = 16;
    SetGlAttributes(kDepthBits);

    // The window keeps SDL's default icon: Linux has no system application
    // icon, and the program's own icon belongs to its desktop entry.
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    const bool changesMode = style == WindowStyle::Popup && modeChanged;
    if (style == WindowStyle::Overlapped) {
        flags |= SDL_WINDOW_RESIZABLE;
    } else if (changesMode) {
        flags |= SDL_WINDOW_FULLSCREEN;
    } else {
        // Fullscreen style over the desktop as it is.
        flags |= SDL_WINDOW_BORDERLESS;
    }
    // SDL tries a GL context of its own while it makes the window; a server
    // that refuses it must not end the game here: the game's own context is
    // refused next, and the player is told. The trap syncs SDL's connection
    // before it is lifted, the window made or not: an error still on its way
    // is counted here, not by Xlib's handler, which would end the game.
    const undersdl::XErrorTrap trap(undersdl::SdlXDisplay());
    SDL_Window* handle = SDL_CreateWindow(title, left, top, clientWidth, clientHeight, flags);
    if (handle == nullptr) {
        return nullptr;
    }
    if (changesMode && SDL_SetWindowDisplayMode(handle, &changedMode) != 0) {
        SDL_DestroyWindow(handle);
        return nullptr;
    }
    auto* window = new Window{};
    window->handle = handle;
    window->changesMode = changesMode;
    window->framed = style == WindowStyle::Overlapped;
    window->left = left;
    window->top = top;
    window->dc.window = window;
    window->dc.colorBits = kPixelBits;
    window->dc.depthBits = kDepthBits;
    sdlwindow::current = window;
    sdlwindow::keepMode = KeepMode;
    undersdl::WindowMade(handle);
    // Under SDL 2 the sound device is opened now (under SDL 3 it is open
    // already), before the splash rather than at the first sound, so that a
    // slow or failing sound system never holds up a frame; and not before the
    // start questions, for SDL 2 shows each from a forked copy of the program,
    // which waits for good on any lock (the sanitizers' allocator's) that the
    // sound threads held at the fork.
    sdlbackend::OpenSoundDevice();
    return window;
}

bool DestroyGameWindow(Window* window) {
    if (window == nullptr || window != sdlwindow::current) {
        return false;
    }
    undersdl::WindowGoing();
    SDL_DestroyWindow(window->handle);
    delete window;
    sdlwindow::current = nullptr;
    return true;
}

void ShowGameWindow(Window* window) {
    if (window == nullptr) {
        return;
    }
    if (window->changesMode) {
        undersdl::ShowFullscreenWindow(window->handle);
    } else {
        SDL_ShowWindow(window->handle);
    }
    const ScreenRect frame = GetFrameMargins(window, WindowStyle::Overlapped);
    if (frame.top != 0 || frame.left != 0) {
        PutFrameCorner(window, frame);
    }
    SDL_RaiseWindow(window->handle);
}

bool PlaceGameWindow(Window* window, int left, int top, int clientWidth, int clientHeight) {
    if (window == nullptr) {
        return false;
    }
    window->left = left;
    window->top = top;
    if (window->changesMode) {
        // A mode SDL set itself (the desktop's, given back while the window
        // is away) is not followed: SDL puts the game's back on the return.
        SDL_DisplayMode mode{};
        if (SDL_GetCurrentDisplayMode(kDisplay, &mode) == 0 && mode.w == clientWidth && mode.h == clientHeight) {
            return true;
        }
        // SDL holds a fullscreen window to the mode it was given: the mode
        // of the new size, which the display has now.
        if (FindMode(clientWidth, clientHeight, kPixelBits, &mode) && SDL_SetWindowDisplayMode(window->handle, &mode) == 0) {
            changedMode = mode;
        }
        undersdl::XPlaceWindow(window->handle, left, top, clientWidth, clientHeight);
        return true;
    }
    SDL_SetWindowSize(window->handle, clientWidth, clientHeight);
    PutFrameCorner(window, GetFrameMargins(window, WindowStyle::Overlapped));
    return true;
}

bool IsWindowMaximised(Window* window) {
    return window != nullptr && (SDL_GetWindowFlags(window->handle) & SDL_WINDOW_MAXIMIZED) != 0;
}

bool GetClientSize(Window* window, int* width, int* height) {
    if (window == nullptr) {
        return false;
    }
    SDL_GetWindowSize(window->handle, width, height);
    return true;
}

DeviceContext* GetDeviceContext(Window* window) {
    return window == nullptr ? nullptr : &window->dc;
}

bool ReleaseDeviceContext(Window* window, DeviceContext* dc) {
    return window != nullptr && dc == &window->dc;
}

// The window's GL format was chosen by SDL when the window was created, from
// the attributes set just before; here a request is checked against it.
int ChooseGlPixelFormat(DeviceContext* dc, int colorBits, int depthBits) {
    if (dc == nullptr || colorBits > dc->colorBits || depthBits > dc->depthBits) {
        return 0;
    }
    return 1;
}

bool SetGlPixelFormat(DeviceContext* dc, int format, int colorBits, int depthBits) {
    if (format != 1 || ChooseGlPixelFormat(dc, colorBits, depthBits) != format) {
        return false;
    }
    // As on Windows, a window's format is set once.
    if (dc->formatSet) {
        return false;
    }
    dc->formatSet = true;
    return true;
}

GlContext* CreateGlContext(DeviceContext* dc) {
    if (dc == nullptr || !dc->formatSet) {
        return nullptr;
    }
    // The server may refuse the context (an indirect one where it offers
    // none): an X error, which fails this step rather than the program.
    const undersdl::XErrorTrap trap(undersdl::XWindowOf(dc->window->handle).display);
    SDL_GLContext context = SDL_GL_CreateContext(dc->window->handle);
    if (context == nullptr) {
        return nullptr;
    }
    int doubleBuffered = 0;
    int depth = 0;
    int red = 0;
    if (trap.Caught() || SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &doubleBuffered) != 0 || doubleBuffered == 0 ||
        SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth) != 0 || depth < dc->depthBits ||
        SDL_GL_GetAttribute(SDL_GL_RED_SIZE, &red) != 0 || red < kColorChannelBits) {
        SDL_GL_DeleteContext(context);
        return nullptr;
    }
    return new GlContext{context};
}

bool MakeGlContextCurrent(DeviceContext* dc, GlContext* context) {
    if (dc == nullptr && context == nullptr) {
        return SDL_GL_MakeCurrent(nullptr, nullptr) == 0;
    }
    if (dc == nullptr || context == nullptr) {
        return false;
    }
    const undersdl::XErrorTrap trap(undersdl::XWindowOf(dc->window->handle).display);
    return SDL_GL_MakeCurrent(dc->window->handle, context->context) == 0 && !trap.Caught();
}

bool DeleteGlContext(GlContext* context) {
    if (context == nullptr) {
        return false;
    }
    SDL_GL_DeleteContext(context->context);
    delete context;
    return true;
}

void SwapWindowBuffers(DeviceContext* dc) {
    if (dc != nullptr) {
        SDL_GL_SwapWindow(dc->window->handle);
    }
}

}  // namespace platform
