// The monitors of an X screen and their changes. SDL 2.26 knows one display
// per RandR output, with the mode it set itself: it does not see monitors a
// desktop defines with RandR 1.5 (two monitors on one wide output), nor a
// mode another program sets. RandR's own monitor list has both, and the
// server tells every client that asks when the screen changes.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>

#include "platform/sdl/under_sdl.h"

namespace {

using platform::ScreenRect;

Display* watched = nullptr;
int randrEventBase = -1;

int Overlap(const ScreenRect& a, const ScreenRect& b) {
    const int width = std::min(a.right, b.right) - std::max(a.left, b.left);
    const int height = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    return width > 0 && height > 0 ? width * height : 0;
}

ScreenRect Intersection(const ScreenRect& a, const ScreenRect& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

// The window's outer rectangle on the screen, frame and all.
ScreenRect OuterRect(const undersdl::XWindow& x) {
    ::Window frame = x.window;
    for (;;) {
        ::Window root = None;
        ::Window parent = None;
        ::Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(x.display, frame, &root, &parent, &children, &count)) {
            break;
        }
        if (children != nullptr) {
            XFree(children);
        }
        if (parent == None || parent == root) {
            break;
        }
        frame = parent;
    }
    XWindowAttributes attributes{};
    int left = 0;
    int top = 0;
    ::Window child = None;
    if (!XGetWindowAttributes(x.display, frame, &attributes) ||
        !XTranslateCoordinates(x.display, frame, x.root, 0, 0, &left, &top, &child)) {
        return {};
    }
    return {left, top, left + attributes.width, top + attributes.height};
}

// What the window manager leaves free of panels on the current desktop; the
// whole screen where it does not say.
ScreenRect WorkArea(Display* display, ::Window root, const ScreenRect& screen) {
    const Atom workArea = XInternAtom(display, "_NET_WORKAREA", False);
    const Atom current = XInternAtom(display, "_NET_CURRENT_DESKTOP", False);
    long desktop = 0;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* value = nullptr;
    if (XGetWindowProperty(display, root, current, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &value) == Success &&
        type == XA_CARDINAL && format == 32 && count == 1) {
        desktop = *reinterpret_cast<long*>(value);
    }
    if (value != nullptr) {
        XFree(value);
        value = nullptr;
    }
    ScreenRect area = screen;
    if (XGetWindowProperty(display, root, workArea, desktop * 4, 4, False, XA_CARDINAL, &type, &format, &count,
                           &after, &value) == Success &&
        type == XA_CARDINAL && format == 32 && count == 4) {
        const long* box = reinterpret_cast<long*>(value);
        area = {static_cast<int>(box[0]), static_cast<int>(box[1]), static_cast<int>(box[0] + box[2]),
                static_cast<int>(box[1] + box[3])};
    }
    if (value != nullptr) {
        XFree(value);
    }
    return area;
}

// The monitor that holds most of the window; without a window, the primary
// one, else the one at the screen's corner.
bool FindMonitor(Display* display, ::Window root, const ScreenRect* window, ScreenRect* found) {
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display, root, True, &count);
    int best = -1;
    int bestScore = -1;
    for (int i = 0; i < count; ++i) {
        const XRRMonitorInfo& monitor = monitors[i];
        const ScreenRect area{monitor.x, monitor.y, monitor.x + monitor.width, monitor.y + monitor.height};
        const int score = window != nullptr ? Overlap(area, *window)
                                            : (monitor.primary ? 2 : (monitor.x == 0 && monitor.y == 0 ? 1 : 0));
        if (score > bestScore) {
            best = i;
            bestScore = score;
            *found = area;
        }
    }
    if (monitors != nullptr) {
        XRRFreeMonitors(monitors);
    }
    return best >= 0;
}

bool AreasOn(Display* display, ::Window root, const ScreenRect* window, platform::MonitorAreas* areas) {
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    // Monitors came with RandR 1.5.
    if (!XRRQueryExtension(display, &eventBase, &errorBase) || !XRRQueryVersion(display, &major, &minor) ||
        major * 100 + minor < 105 || !FindMonitor(display, root, window, &areas->whole)) {
        return false;
    }
    XWindowAttributes rootAttributes{};
    XGetWindowAttributes(display, root, &rootAttributes);
    const ScreenRect screen{0, 0, rootAttributes.width, rootAttributes.height};
    areas->work = Intersection(WorkArea(display, root, screen), areas->whole);
    if (areas->work.right <= areas->work.left || areas->work.bottom <= areas->work.top) {
        areas->work = areas->whole;
    }
    return true;
}

// Called as SDL takes each X event: a change of the screen's size, of an
// output's mode or of the monitors becomes the game's display change. (A mode
// set by xrandr reaches SDL's connection as output and CRTC changes.)
int WatchScreenChanges(void*, SDL_Event* event) {
    if (event->type != SDL_SYSWMEVENT) {
        return 0;
    }
    const SDL_SysWMmsg* message = event->syswm.msg;
    if (message != nullptr && message->subsystem == SDL_SYSWM_X11 &&
        (message->msg.x11.event.type == randrEventBase + RRScreenChangeNotify ||
         message->msg.x11.event.type == randrEventBase + RRNotify)) {
        SDL_Event changed{};
        changed.type = undersdl::DisplayChangedEvent();
        SDL_PushEvent(&changed);
    }
    return 0;
}

}  // namespace

namespace undersdl {

bool XMonitorAreas(SDL_Window* handle, platform::MonitorAreas* areas) {
    if (handle != nullptr) {
        const XWindow x = XWindowOf(handle);
        if (x.display == nullptr) {
            return false;
        }
        const XErrorTrap trap(x.display);
        const ScreenRect window = OuterRect(x);
        return AreasOn(x.display, x.root, &window, areas) && !trap.Caught();
    }
    // No window yet: a connection of its own to SDL's display.
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return false;
    }
    const bool found = AreasOn(display, DefaultRootWindow(display), nullptr, areas);
    XCloseDisplay(display);
    return found;
}

void XPlaceWindow(SDL_Window* handle, int left, int top, int width, int height) {
    const XWindow x = XWindowOf(handle);
    if (x.display != nullptr) {
        XMoveResizeWindow(x.display, x.window, left, top, static_cast<unsigned>(width),
                          static_cast<unsigned>(height));
        XFlush(x.display);
    }
}

void FollowScreenChanges(SDL_Window* handle) {
    const XWindow x = XWindowOf(handle);
    int errorBase = 0;
    if (x.display == nullptr || !XRRQueryExtension(x.display, &randrEventBase, &errorBase)) {
        return;
    }
    DisplayChangedEvent();
    // SDL asks for output changes on the root itself: the mask keeps them.
    XRRSelectInput(x.display, x.root, RRScreenChangeNotifyMask | RROutputChangeNotifyMask | RRCrtcChangeNotifyMask);
    watched = x.display;
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    SDL_AddEventWatch(WatchScreenChanges, nullptr);
}

void StopFollowingScreenChanges() {
    if (watched != nullptr) {
        SDL_DelEventWatch(WatchScreenChanges, nullptr);
        watched = nullptr;
    }
}

}  // namespace undersdl
