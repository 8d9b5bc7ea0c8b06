#include "app/game_window.h"

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

// Where the window goes on this screen; for a shown window, with the frame
// its window manager gave it. Where the work area is unknown, as asked.
WindowPlace PlaceOnScreen(platform::Window* window, platform::WindowStyle style, int width, int height) {
    platform::ScreenRect workArea;
    if (!platform::GetWorkArea(&workArea)) {
        return {0, 0, width, height};
    }
    return FitInWorkArea(width, height, workArea, platform::GetFrameMargins(window, style));
}

}  // namespace

bool OpenGameWindow(OwnedString title, int width, int height, int bits, bool fullscreenWish) {
    fullscreen = fullscreenWish;

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
