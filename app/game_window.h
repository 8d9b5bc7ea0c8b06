#pragma once

#include "app/owned_string.h"
#include "platform/platform.h"

extern platform::Module* hInstance;
extern platform::Window* hWnd;
extern platform::DeviceContext* hDC;
extern platform::GlContext* hRC;

// True when the fullscreen style is in force; read by the teardown.
extern bool fullscreen;

// True from a successful registration of the window class until the one
// attempt to unregister it.
extern bool windowClassRegistered;

// The window state of a freshly started process: nothing opened yet, and
// fullscreen wished for until the first question is answered No.
namespace initial {
inline constexpr platform::Module* kInstance = nullptr;
inline constexpr platform::Window* kWnd = nullptr;
inline constexpr platform::DeviceContext* kDC = nullptr;
inline constexpr platform::GlContext* kRC = nullptr;
inline constexpr bool kFullscreen = true;
inline constexpr bool kWindowClassRegistered = false;
}  // namespace initial

inline constexpr int kWindowWidth = 1152;
inline constexpr int kWindowHeight = 864;
inline constexpr int kWindowBitsPerPixel = 32;

// Opens the window with a current GL context and an initialised scene, asking
// the two computer-control questions on the way. On failure it has told the
// user, torn down what it built, and returns false.
bool OpenGameWindow(OwnedString title, int width, int height, int bits, bool fullscreenWish);

// The display's mode or monitors changed under the game (another program,
// a monitor plugged or unplugged): the window follows the screen it is on, in
// fullscreen covering it, in a window fitting in it. The same rule for every
// backend.
void FollowDisplayChange();

// Releases whatever exists of the display mode, GL context, device context,
// window and window class, in that order; each at most once.
void CloseGameWindow();
