// Window class, display mode, cursor, window, device context and GL context
// on SDL2. The window class stands for SDL's video subsystem: registering it
// starts the video subsystem, unregistering it ends it.
#include <SDL.h>

#include "platform/platform.h"
#include "platform/sdl/sdl_window.h"
#include "platform/sdl/x_errors.h"

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
    classRegistered = false;
    return true;
}

bool ChangeDisplayMode(int width, int height, int bitsPerPixel) {
    if (!classRegistered) {
        return false;
    }
    // SDL reports success for any mode and then takes the nearest one, so
    // only a mode the display lists exactly is accepted.
    const int count = SDL_GetNumDisplayModes(kDisplay);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode{};
        if (SDL_GetDisplayMode(kDisplay, i, &mode) == 0 && mode.w == width && mode.h == height &&
            SameDepth(mode, bitsPerPixel)) {
            changedMode = mode;
            modeChanged = true;
            return true;
        }
    }
    return false;
}

void RestoreDisplayMode() {
    if (sdlwindow::current != nullptr && sdlwindow::current->changesMode) {
        sdlwindow::LeaveFullscreen(sdlwindow::current->handle);
        sdlwindow::current->changesMode = false;
    }
    modeChanged = false;
}

void ShowMouseCursor(bool show) {
    if (classRegistered) {
        SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
    }
}

bool GetWorkArea(ScreenRect* area) {
    SDL_Rect usable{};
    if (!classRegistered || SDL_GetDisplayUsableBounds(kDisplay, &usable) != 0) {
        return false;
    }
    *area = {usable.x, usable.y, usable.x + usable.w, usable.y + usable.h};
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
    // refused next, and the player is told.
    sdlwindow::XErrorTrap trap;
    SDL_Window* handle = SDL_CreateWindow(title, left, top, clientWidth, clientHeight, flags);
    if (handle == nullptr) {
        return nullptr;
    }
    trap.Watch(sdlwindow::XWindowOf(handle).display);
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
    sdlwindow::FollowLayoutSwitches(handle);
    return window;
}

bool DestroyGameWindow(Window* window) {
    if (window == nullptr || window != sdlwindow::current) {
        return false;
    }
    sdlwindow::StopFollowingLayoutSwitches();
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
        sdlwindow::ShowFullscreenWindow(window->handle);
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
    SDL_SetWindowSize(window->handle, clientWidth, clientHeight);
    PutFrameCorner(window, GetFrameMargins(window, WindowStyle::Overlapped));
    return true;
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
    const sdlwindow::XErrorTrap trap(sdlwindow::XWindowOf(dc->window->handle).display);
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
    const sdlwindow::XErrorTrap trap(sdlwindow::XWindowOf(dc->window->handle).display);
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
