#pragma once

// Every operating-system service the game uses, declared once. Each backend
// (win32/, sdl/, and test/ for the tests) defines all of these; the backend is
// chosen at link time. Backends make OS calls only: what to ask, which texts
// to show and in which order to tear down is decided by the game in app/.
//
// Names differ from the Win32 ones so that <windows.h> macros never clash.
// Constants carry their Win32 values, so the Windows backend passes them
// straight through and the other backends translate them.

#include <cstdint>

namespace platform {

// ---- Message boxes ---------------------------------------------------------
inline constexpr std::uint32_t kMbOk = 0x0;
inline constexpr std::uint32_t kMbYesNoCancel = 0x3;
inline constexpr std::uint32_t kMbYesNo = 0x4;
inline constexpr std::uint32_t kMbIconQuestion = 0x20;
inline constexpr std::uint32_t kMbIconWarning = 0x30;
inline constexpr std::uint32_t kMbIconInformation = 0x40;
inline constexpr std::uint32_t kMbDefButton2 = 0x100;
inline constexpr std::uint32_t kMbButtonsMask = 0xF;
inline constexpr std::uint32_t kMbIconMask = 0xF0;
inline constexpr std::uint32_t kMbDefButtonMask = 0xF00;

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// A modal box with no owner window; returns the button chosen (kId...). Where
// no box can be shown, the text goes to standard error and the answer is the
// default button.
int ShowMessageBox(const char* text, const char* caption, std::uint32_t style);

// The button that Enter takes: No where the style makes the second button of
// Yes/No (or Yes/No/Cancel) the default, else Yes; OK for every other set.
constexpr int DefaultButton(std::uint32_t style) {
    const std::uint32_t buttons = style & kMbButtonsMask;
    if (buttons != kMbYesNo && buttons != kMbYesNoCancel) {
        return kIdOk;
    }
    return (style & kMbDefButtonMask) == kMbDefButton2 ? kIdNo : kIdYes;
}

// ---- Module and window class -----------------------------------------------
struct Module;  // opaque: the program's own module instance

Module* GetOwnModule();
// The window class "OpenGL": own device context per window, redraw on resize,
// the system's default application icon and arrow cursor, WindowProc below.
bool RegisterWindowClass(Module* module);
bool UnregisterWindowClass(Module* module);

// ---- Display mode and cursor -----------------------------------------------
// A temporary fullscreen change to exactly this mode; false when the display
// refuses it or has no such mode.
bool ChangeDisplayMode(int width, int height, int bitsPerPixel);
// Back to the mode stored in the system settings.
void RestoreDisplayMode();
void ShowMouseCursor(bool show);

// ---- Window ----------------------------------------------------------------
struct Window;  // opaque

enum class WindowStyle {
    Popup,       // fullscreen: borderless, no frame
    Overlapped,  // windowed: caption, frame, system menu, minimise and maximise
};

// A rectangle on the screen, in screen pixels; or, for a window's frame, how
// far the window reaches beyond its client area on each side.
struct ScreenRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The monitor a window is on (the one that holds most of it; the primary
// one for a null window): its whole area, and its work area, the monitor less
// its task bars and panels. False where they cannot be told.
struct MonitorAreas {
    ScreenRect whole;
    ScreenRect work;
};
bool GetMonitorAreas(Window* window, MonitorAreas* areas);
// The frame of a window of this style. Of an existing window, the frame it
// has now: where a window manager draws it, it is known once the window is
// shown, and zero before.
ScreenRect GetFrameMargins(Window* window, WindowStyle style);

// Creates the window hidden, its outer top-left corner at left, top, sized so
// that its client area is clientWidth by clientHeight. Null on failure.
Window* CreateGameWindow(Module* module, const char* title, int left, int top, int clientWidth,
                         int clientHeight, WindowStyle style);
bool DestroyGameWindow(Window* window);
// Shows the window, brings it to the foreground and gives it the keyboard focus.
void ShowGameWindow(Window* window);
// Moves the window's outer top-left corner to left, top and gives it a client
// area of clientWidth by clientHeight.
bool PlaceGameWindow(Window* window, int left, int top, int clientWidth, int clientHeight);
// The size of the window's client area now.
bool GetClientSize(Window* window, int* width, int* height);
// Whether the window is maximised: the window manager sizes it then.
bool IsWindowMaximised(Window* window);

// ---- Device context and GL context -----------------------------------------
struct DeviceContext;  // opaque
struct GlContext;      // opaque

DeviceContext* GetDeviceContext(Window* window);
bool ReleaseDeviceContext(Window* window, DeviceContext* dc);
// A double-buffered RGBA format able to draw to the window with OpenGL; 0 when
// there is none.
int ChooseGlPixelFormat(DeviceContext* dc, int colorBits, int depthBits);
bool SetGlPixelFormat(DeviceContext* dc, int format, int colorBits, int depthBits);
GlContext* CreateGlContext(DeviceContext* dc);
// With both null, makes no context current.
bool MakeGlContextCurrent(DeviceContext* dc, GlContext* context);
bool DeleteGlContext(GlContext* context);
void SwapWindowBuffers(DeviceContext* dc);

// ---- Messages --------------------------------------------------------------
inline constexpr std::uint32_t kWmSize = 0x0005;
inline constexpr std::uint32_t kWmActivate = 0x0006;
// wParam: kWaInactive or kWaActive in the low word, the minimised flag in the high word.
inline constexpr std::uintptr_t kWaInactive = 0;
inline constexpr std::uintptr_t kWaActive = 1;
inline constexpr std::uint32_t kWmKillFocus = 0x0008;
inline constexpr std::uint32_t kWmClose = 0x0010;
// The display's mode or its monitors changed.
inline constexpr std::uint32_t kWmDisplayChange = 0x007E;
inline constexpr std::uint32_t kWmQuit = 0x0012;
inline constexpr std::uint32_t kWmKeyDown = 0x0100;
inline constexpr std::uint32_t kWmKeyUp = 0x0101;
// Keys pressed or let go with Alt held, Alt itself and F10: the game takes
// only their key-ups, and passes them on to the system.
inline constexpr std::uint32_t kWmSysKeyDown = 0x0104;
inline constexpr std::uint32_t kWmSysKeyUp = 0x0105;
inline constexpr std::uint32_t kWmSysCommand = 0x0112;
inline constexpr std::uintptr_t kScScreenSave = 0xF140;
inline constexpr std::uintptr_t kScMonitorPower = 0xF170;

struct Message {
    Window* window = nullptr;
    std::uint32_t message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

// Takes the next message of the thread's queue without waiting; false when
// the queue is empty.
bool PeekNextMessage(Message* message);
// Translates key messages and hands the message to the window procedure.
void DispatchToWindow(const Message& message);
void PostQuit(int exitCode);
// What the system does with a message the game does not handle itself.
std::intptr_t DefaultWindowProc(Window* window, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t lParam);

// ---- Periodic timer --------------------------------------------------------
inline constexpr std::uint32_t kTimerrNoError = 0;
inline constexpr std::uint32_t kTimerrNoCanDo = 97;
inline constexpr std::uint32_t kTimerrStruct = 129;
inline constexpr std::uint32_t kTimePeriodic = 1;

struct TimerCaps {
    std::uint32_t wPeriodMin = 0;
    std::uint32_t wPeriodMax = 0;
};

// Called on the timer's own thread, never on the main thread, one call at a time.
using TimerCallback = void (*)(std::uint32_t timerId, std::uint32_t message, std::uintptr_t user,
                               std::uintptr_t reserved1, std::uintptr_t reserved2);

std::uint32_t TimeGetDevCaps(TimerCaps* caps, std::uint32_t size);
std::uint32_t TimeBeginPeriod(std::uint32_t periodMs);
// Returns the event's identifier, or 0 when it could not be started.
std::uint32_t TimeSetEvent(std::uint32_t delayMs, std::uint32_t resolutionMs, TimerCallback callback,
                           std::uintptr_t user, std::uint32_t flags);
// Returns once the event is stopped and no callback of it is running.
std::uint32_t TimeKillEvent(std::uint32_t timerId);
std::uint32_t TimeEndPeriod(std::uint32_t periodMs);

// ---- Sound -----------------------------------------------------------------
// Starts playing a WAV file from the working directory and returns at once; a
// new sound may cut off the one playing. Failures are silent.
void PlaySoundFile(const char* fileName);

// ---- Bitmap resources ------------------------------------------------------
// A loaded 24-bit picture: rows bottom first, 3 bytes a pixel in blue, green,
// red order, each row starting on a 4-byte boundary.
struct Bitmap {
    std::int32_t width = 0;
    std::int32_t height = 0;
    const std::uint8_t* bits = nullptr;
    void* handle = nullptr;  // the backend's own, for FreeBitmapResource
};

bool LoadBitmapResource(Module* module, int id, Bitmap* bitmap);
void FreeBitmapResource(Bitmap* bitmap);

}  // namespace platform

// ---- Provided by the game, called by every backend -------------------------
// The program's entry: backends define main or WinMain and return this.
int GameMain();
// The window procedure: every message dispatched to the game window.
std::intptr_t WindowProc(platform::Window* window, std::uint32_t message, std::uintptr_t wParam,
                         std::intptr_t lParam);
