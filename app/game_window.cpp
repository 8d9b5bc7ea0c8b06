#include "app/game_window.h"

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

    if (fullscreen && !platform::ChangeDisplayMode(width, height, bits)) {
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

    hWnd = platform::CreateGameWindow(hInstance, title.Text(), width, height, style);
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
    ResizeScene(width, height);
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
