#include "app/game_window.h"

#include <optional>

#include "app/window_events.h"
#include "app/window_fit.h"
#include "render/scene_setup.h"
#include "world/world_values.h"

platform::Module* hInstance = initial::kInstance;
platform::Window* hWnd = initial::kWnd;
platform::DeviceContext* hDC = initial::kDC;
platform::GlContext* hRC = initial::kRC;
bool fullscreen = initial::kFullscreen;
bool windowClassRegistered = initial::kWindowClassRegistered;

namespace {

constexpr int kDepthBits = 16;

void ShowOpeningError(const char* text) {
    platform::ShowMessageBox(text, "Error", platform::kMbOk | platform::kMbIconWarning);
}

void ShowShutdownError(const char* text) {
    platform::ShowMessageBox(text, "Shutdown Error", platform::kMbOk | platform::kMbIconInformation);
}

bool FailAfterTeardown(const char* text) {
    CloseGameWindow();
    ShowOpeningError(text);
    return false;
}

bool AskYes(const char* text, const char* caption, std::uint32_t extraStyle) {
    return platform::ShowMessageBox(text, caption,
                                    platform::kMbYesNo | platform::kMbIconQuestion | extraStyle) ==
           platform::kIdYes;
}

// The client area the window was asked for, kept for a display change.
int askedWidth = 0;
int askedHeight = 0;

// Where the window goes on the monitor it is on (the primary one before it
// exists); for a shown window, with the frame its window manager gave it.
// Where the work area is unknown, as asked.
WindowPlace PlaceOnScreen(platform::Window* window, platform::WindowStyle style, int width, int height) {
    platform::MonitorAreas areas;
    if (!platform::GetMonitorAreas(window, &areas)) {
        return {0, 0, width, height};
    }
    return FitInWorkArea(width, height, areas.work, platform::GetFrameMargins(window, style));
}

// Where the window goes after a display change: in fullscreen the whole
// monitor it is on, whatever mode another program set there (the court is
// drawn whole in any shape); in a window, fitted to the monitor's work area
// again. Null where the monitor cannot be told.
std::optional<WindowPlace> PlaceAfterDisplayChange() {
    if (!fullscreen) {
        return PlaceOnScreen(hWnd, platform::WindowStyle::Overlapped, askedWidth, askedHeight);
    }
    platform::MonitorAreas areas;
    if (!platform::GetMonitorAreas(hWnd, &areas)) {
        return std::nullopt;
    }
    const platform::ScreenRect& whole = areas.whole;
    return WindowPlace{whole.left, whole.top, whole.right - whole.left, whole.bottom - whole.top};
}

}  // namespace

bool OpenGameWindow(OwnedString title, int width, int height, int bits, bool fullscreenWish) {
    fullscreen = fullscreenWish;
    askedWidth = width;
    askedHeight = height;

    hInstance = platform::GetOwnModule();
    if (!platform::RegisterWindowClass(hInstance)) {
        ShowOpeningError("Failed to register the window class.");
        return false;
    }
    windowClassRegistered = true;

    if (AskYes("Is the left paddle computer controlled?", "Left AI", 0)) {
        leftComputer = true;
    }
    if (AskYes("Is the right paddle computer controlled?", "Right AI", platform::kMbDefButton2)) {
        rightComputer = true;
    }

    const bool modeChanged = fullscreen && platform::ChangeDisplayMode(width, height, bits);
    if (fullscreen && !modeChanged) {
        const int answer = platform::ShowMessageBox(
            "The requested fullscreen mode does not seem to be\nsupported by your video card. "
            "Attempt it anyway?\n('No' will initiate windowed mode, cancel will quit)",
            title.Text(), platform::kMbYesNoCancel | platform::kMbIconQuestion);
        if (answer == platform::kIdNo) {
            fullscreen = false;
        } else if (answer == platform::kIdCancel) {
            ShowOpeningError("Program will now close.");
            return false;
        }
        // Yes: a borderless window of the requested size over the desktop as it is.
    }

    if (fullscreen) {
        platform::ShowMouseCursor(false);
    }
    const platform::WindowStyle style =
        fullscreen ? platform::WindowStyle::Popup : platform::WindowStyle::Overlapped;

    // In the display mode it changed to, the window is the screen; any other
    // window must fit on the screen as it is.
    const bool fitToScreen = !modeChanged;
    const WindowPlace place =
        fitToScreen ? PlaceOnScreen(nullptr, style, width, height) : WindowPlace{0, 0, width, height};
    hWnd = platform::CreateGameWindow(hInstance, title.Text(), place.left, place.top, place.clientWidth,
                                      place.clientHeight, style);
    if (hWnd == nullptr) {
        return FailAfterTeardown("Window creation error.");
    }
    hDC = platform::GetDeviceContext(hWnd);
    if (hDC == nullptr) {
        return FailAfterTeardown("Unable to create a GL device context.");
    }
    const int format = platform::ChooseGlPixelFormat(hDC, bits, kDepthBits);
    if (format == 0) {
        return FailAfterTeardown("Unable to find a suitable pixelformat.");
    }
    if (!platform::SetGlPixelFormat(hDC, format, bits, kDepthBits)) {
        return FailAfterTeardown("Unable to set the pixelformat.");
    }
    hRC = platform::CreateGlContext(hDC);
    if (hRC == nullptr) {
        return FailAfterTeardown("Unable to create a GL rendering context.");
    }
    if (!platform::MakeGlContextCurrent(hDC, hRC)) {
        return FailAfterTeardown("Unable to activate the GL rendering context.");
    }

    platform::ShowGameWindow(hWnd);
    if (fitToScreen) {
        // A window manager's frame is known once the window is shown; where it
        // takes the window past the work area, the window is fitted again.
        const WindowPlace framed = PlaceOnScreen(hWnd, style, width, height);
        if (framed != place) {
            platform::PlaceGameWindow(hWnd, framed.left, framed.top, framed.clientWidth, framed.clientHeight);
        }
    }
    // The projection is set for the client area the window has, which a
    // small screen makes smaller than the one asked for.
    int clientWidth = width;
    int clientHeight = height;
    platform::GetClientSize(hWnd, &clientWidth, &clientHeight);
    ResizeScene(clientWidth, clientHeight);
    if (!InitScene()) {
        return FailAfterTeardown("Initialization failed.");
    }
    return true;
}

void FollowDisplayChange() {
    // A minimised window is placed when it comes back; a maximised one is
    // the window manager's to fit to the new work area.
    if (hWnd == nullptr || !windowActive || platform::IsWindowMaximised(hWnd)) {
        return;
    }
    const std::optional<WindowPlace> place = PlaceAfterDisplayChange();
    int clientWidth = 0;
    int clientHeight = 0;
    // A window the player moved keeps its place for as long as its size
    // still fits: only a new size moves it.
    if (!place || !platform::GetClientSize(hWnd, &clientWidth, &clientHeight) ||
        (place->clientWidth == clientWidth && place->clientHeight == clientHeight)) {
        return;
    }
    platform::PlaceGameWindow(hWnd, place->left, place->top, place->clientWidth, place->clientHeight);
    platform::GetClientSize(hWnd, &clientWidth, &clientHeight);
    ResizeScene(clientWidth, clientHeight);
}

void CloseGameWindow() {
    if (fullscreen) {
        platform::RestoreDisplayMode();
        platform::ShowMouseCursor(true);
    }
    if (hRC != nullptr) {
        if (!platform::MakeGlContextCurrent(nullptr, nullptr)) {
            ShowShutdownError("Release of DC and RC failed.");
        }
        if (!platform::DeleteGlContext(hRC)) {
            ShowShutdownError("Release of rendering context failed.");
        }
        hRC = nullptr;
    }
    if (hDC != nullptr) {
        if (!platform::ReleaseDeviceContext(hWnd, hDC)) {
            ShowShutdownError("Release of device context failed.");
        }
        hDC = nullptr;
    }
    if (hWnd != nullptr) {
        if (!platform::DestroyGameWindow(hWnd)) {
            ShowShutdownError("Unable to release hWnd.");
        }
        hWnd = nullptr;
    }
    // The class is unregistered at most once, like every other handle: a
    // second teardown must not report a failure for a class that is gone.
    if (windowClassRegistered) {
        windowClassRegistered = false;
        if (!platform::UnregisterWindowClass(hInstance)) {
            ShowShutdownError("Unable to unregister class.");
            hInstance = nullptr;
        }
    }
}
