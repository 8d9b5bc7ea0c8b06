// Message boxes, the window class, display mode, window, GL context and the
// message queue: straight Win32, GDI and WGL calls.
#include <cstddef>
#include <cstring>
#include <string>

#include "platform/unshown_box.h"
#include "platform/win32/handles.h"

namespace platform {
namespace {

constexpr const char* kClassName = "OpenGL";

LRESULT CALLBACK WindowProcTrampoline(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return WindowProc(win32::FromHandle(window), message, wParam, lParam);
}

// The full record of the message PeekNextMessage took last, so that
// DispatchToWindow hands the system the time and cursor position too.
MSG lastTaken{};

PIXELFORMATDESCRIPTOR GlPixelFormat(int colorBits, int depthBits) {
    static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40);
    PIXELFORMATDESCRIPTOR pfd;
    std::memset(&pfd, 0, sizeof pfd);
    pfd.nSize = sizeof(PIXELFORMATDESCRIPTOR);
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = static_cast<BYTE>(colorBits);
    pfd.cDepthBits = static_cast<BYTE>(depthBits);
    pfd.cStencilBits = 0;
    pfd.cAuxBuffers = 0;
    pfd.iLayerType = PFD_MAIN_PLANE;
    // Every colour, shift, alpha and accumulation count, bReserved and the
    // three masks stay 0.
    return pfd;
}

// The system's text for an error code, on one line, with the code.
std::string SystemErrorText(DWORD code) {
    char text[512] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        text, sizeof text, nullptr);
    std::string reason(text, length);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ')) {
        reason.pop_back();
    }
    return (reason.empty() ? "no text for it" : reason) + " (error " + std::to_string(code) + ")";
}

// Windows tells every top-level window of a display change with
// WM_DISPLAYCHANGE. Wine 8 tells none when another program sets the mode
// through RandR, though the sizes it reports follow: the game window is told
// here when the desktop's rectangle has changed, checked a few times a second.
struct ScreenWatch {
    HWND window = nullptr;
    RECT desktop{};
    DWORD checkedAt = 0;
};
ScreenWatch screenWatch;
constexpr DWORD kScreenCheckMs = 200;

RECT DesktopRect() {
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return {left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN), top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

void WatchScreen(HWND window) { screenWatch = {window, DesktopRect(), GetTickCount()}; }

void TellOfDisplayChange() {
    const DWORD now = GetTickCount();
    if (screenWatch.window == nullptr || now - screenWatch.checkedAt < kScreenCheckMs) {
        return;
    }
    screenWatch.checkedAt = now;
    const RECT desktop = DesktopRect();
    if (EqualRect(&desktop, &screenWatch.desktop)) {
        return;
    }
    screenWatch.desktop = desktop;
    HDC screen = GetDC(nullptr);
    const int bitsPerPixel = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    PostMessageA(screenWatch.window, WM_DISPLAYCHANGE, static_cast<WPARAM>(bitsPerPixel),
                 MAKELPARAM(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)));
}

}  // namespace

int ShowMessageBox(const char* text, const char* caption, std::uint32_t style) {
    const int answer = MessageBoxA(nullptr, text, caption, style);
    // Windows reports a failure as 0; Wine without a display passes on the -1
    // of the dialog box beneath.
    if (answer > 0) {
        return answer;
    }
    const DWORD error = GetLastError();
    const int defaultId = DefaultButton(style);
    ReportUnshownBox(text, caption, defaultId, SystemErrorText(error).c_str());
    return defaultId;
}

Module* GetOwnModule() { return win32::FromHandle(GetModuleHandleA(nullptr)); }

bool RegisterWindowClass(Module* module) {
    WNDCLASSA windowClass;
    std::memset(&windowClass, 0, sizeof windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = WindowProcTrampoline;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = win32::ToHandle(module);
    windowClass.hIcon = LoadIconA(nullptr, IDI_WINLOGO);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = nullptr;
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = kClassName;
    return RegisterClassA(&windowClass) != 0;
}

bool UnregisterWindowClass(Module* module) {
    return UnregisterClassA(kClassName, win32::ToHandle(module)) != 0;
}

bool ChangeDisplayMode(int width, int height, int bitsPerPixel) {
    // 148 bytes is the record up to dmReserved2, without the two panning
    // fields of later headers (sizeof is 156 here). Every field set below lies
    // within it, and the system reads no further than dmSize says.
    constexpr WORD kDevModeSize = 148;
    static_assert(offsetof(DEVMODEA, dmPanningWidth) == kDevModeSize);
    static_assert(offsetof(DEVMODEA, dmPelsHeight) + sizeof(DWORD) <= kDevModeSize);

    DEVMODEA mode;
    std::memset(&mode, 0, sizeof mode);
    mode.dmSize = kDevModeSize;
    mode.dmPelsWidth = static_cast<DWORD>(width);
    mode.dmPelsHeight = static_cast<DWORD>(height);
    mode.dmBitsPerPel = static_cast<DWORD>(bitsPerPixel);
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    return ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
}

void RestoreDisplayMode() { ChangeDisplaySettingsA(nullptr, 0); }

void ShowMouseCursor(bool show) { ShowCursor(show ? TRUE : FALSE); }

namespace {

struct Styles {
    DWORD style;
    DWORD extended;
};

Styles StylesOf(WindowStyle style) {
    if (style == WindowStyle::Overlapped) {
        return {WS_OVERLAPPEDWINDOW, WS_EX_APPWINDOW | WS_EX_WINDOWEDGE};
    }
    return {WS_POPUP, WS_EX_APPWINDOW};
}

// The window's outer rectangle for a client area of this size at 0, 0.
RECT OuterRect(const Styles& styles, int clientWidth, int clientHeight) {
    RECT outer{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&outer, styles.style, FALSE, styles.extended);
    return outer;
}

}  // namespace

bool GetMonitorAreas(Window* window, MonitorAreas* areas) {
    MONITORINFO info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    HMONITOR monitor = window == nullptr ? MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY)
                                         : MonitorFromWindow(win32::ToHandle(window), MONITOR_DEFAULTTONEAREST);
    if (!GetMonitorInfoA(monitor, &info)) {
        return false;
    }
    areas->whole = {info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right, info.rcMonitor.bottom};
    areas->work = {info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
    return true;
}

// The system draws the frame as the style says, known before the window is.
ScreenRect GetFrameMargins(Window*, WindowStyle style) {
    const RECT outer = OuterRect(StylesOf(style), 0, 0);
    return {-outer.left, -outer.top, outer.right, outer.bottom};
}

Window* CreateGameWindow(Module* module, const char* title, int left, int top, int clientWidth, int clientHeight,
                         WindowStyle style) {
    const Styles styles = StylesOf(style);
    const RECT frame = OuterRect(styles, clientWidth, clientHeight);
    HWND window = CreateWindowExA(styles.extended, kClassName, title,
                                  styles.style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, left, top,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                  nullptr, win32::ToHandle(module), nullptr);
    WatchScreen(window);
    return win32::FromHandle(window);
}

bool DestroyGameWindow(Window* window) {
    WatchScreen(nullptr);
    return DestroyWindow(win32::ToHandle(window)) != 0;
}

void ShowGameWindow(Window* window) {
    HWND handle = win32::ToHandle(window);
    ShowWindow(handle, SW_SHOW);
    SetForegroundWindow(handle);
    SetFocus(handle);
}

bool PlaceGameWindow(Window* window, int left, int top, int clientWidth, int clientHeight) {
    HWND handle = win32::ToHandle(window);
    const Styles styles{static_cast<DWORD>(GetWindowLongPtrA(handle, GWL_STYLE)),
                        static_cast<DWORD>(GetWindowLongPtrA(handle, GWL_EXSTYLE))};
    const RECT outer = OuterRect(styles, clientWidth, clientHeight);
    return SetWindowPos(handle, nullptr, left, top, outer.right - outer.left, outer.bottom - outer.top,
                        SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

bool IsWindowMaximised(Window* window) { return IsZoomed(win32::ToHandle(window)) != FALSE; }

bool GetClientSize(Window* window, int* width, int* height) {
    RECT client;
    if (!GetClientRect(win32::ToHandle(window), &client)) {
        return false;
    }
    *width = client.right - client.left;
    *height = client.bottom - client.top;
    return true;
}

DeviceContext* GetDeviceContext(Window* window) { return win32::FromHandle(GetDC(win32::ToHandle(window))); }

bool ReleaseDeviceContext(Window* window, DeviceContext* dc) {
    return ReleaseDC(win32::ToHandle(window), win32::ToHandle(dc)) != 0;
}

int ChooseGlPixelFormat(DeviceContext* dc, int colorBits, int depthBits) {
    const PIXELFORMATDESCRIPTOR pfd = GlPixelFormat(colorBits, depthBits);
    return ChoosePixelFormat(win32::ToHandle(dc), &pfd);
}

bool SetGlPixelFormat(DeviceContext* dc, int format, int colorBits, int depthBits) {
    const PIXELFORMATDESCRIPTOR pfd = GlPixelFormat(colorBits, depthBits);
    return SetPixelFormat(win32::ToHandle(dc), format, &pfd) != FALSE;
}

GlContext* CreateGlContext(DeviceContext* dc) { return win32::FromHandle(wglCreateContext(win32::ToHandle(dc))); }

bool MakeGlContextCurrent(DeviceContext* dc, GlContext* context) {
    return wglMakeCurrent(win32::ToHandle(dc), win32::ToHandle(context)) != FALSE;
}

bool DeleteGlContext(GlContext* context) { return wglDeleteContext(win32::ToHandle(context)) != FALSE; }

void SwapWindowBuffers(DeviceContext* dc) { SwapBuffers(win32::ToHandle(dc)); }

bool PeekNextMessage(Message* message) {
    TellOfDisplayChange();
    MSG taken;
    if (!PeekMessageA(&taken, nullptr, 0, 0, PM_REMOVE)) {
        return false;
    }
    lastTaken = taken;
    message->window = win32::FromHandle(taken.hwnd);
    message->message = taken.message;
    message->wParam = taken.wParam;
    message->lParam = taken.lParam;
    return true;
}

void DispatchToWindow(const Message& message) {
    MSG msg = lastTaken;
    if (msg.hwnd != win32::ToHandle(message.window) || msg.message != message.message ||
        msg.wParam != message.wParam || msg.lParam != message.lParam) {
        msg = MSG{};
        msg.hwnd = win32::ToHandle(message.window);
        msg.message = message.message;
        msg.wParam = message.wParam;
        msg.lParam = message.lParam;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

void PostQuit(int exitCode) { PostQuitMessage(exitCode); }

std::intptr_t DefaultWindowProc(Window* window, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t lParam) {
    return DefWindowProcA(win32::ToHandle(window), message, wParam, lParam);
}

}  // namespace platform
