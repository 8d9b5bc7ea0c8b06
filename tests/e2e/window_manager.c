/* Asks an X window to close, minimises or restores it, the way a window
 * manager does it for the user. "close" sends what a close button does: a
 * WM_PROTOCOLS client message carrying WM_DELETE_WINDOW. "minimise" sends the
 * ICCCM iconify request (WM_CHANGE_STATE to the root window, as
 * XIconifyWindow does); "restore" maps the window again.
 *
 * A bare Xvfb has no window manager, so nobody would act on the request:
 * then this tool does the manager's work itself. Minimising marks the window
 * iconic (WM_STATE, _NET_WM_STATE_HIDDEN) and unmaps it; restoring clears the
 * marks, maps the window, waits until it is mapped and gives it the keyboard
 * focus, as a manager does with a window it brings back.
 *
 * Usage: zarvo_window_manager WINDOW-ID close|minimise|restore */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* Whether a window manager runs: it owns the screen's WM_Sn selection
 * (ICCCM) or names its check window on the root (EWMH). */
static int manager_running(Display* display, int screen) {
    char selection[32];
    snprintf(selection, sizeof selection, "WM_S%d", screen);
    if (XGetSelectionOwner(display, XInternAtom(display, selection, False)) != None) {
        return 1;
    }
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = NULL;
    const int found = XGetWindowProperty(display, RootWindow(display, screen),
                                         XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False), 0, 1, False,
                                         XA_WINDOW, &type, &format, &items, &after, &data) == Success &&
                      items == 1;
    if (data != NULL) {
        XFree(data);
    }
    return found;
}

static void set_wm_state(Display* display, Window window, long state) {
    const Atom wm_state = XInternAtom(display, "WM_STATE", False);
    const long value[2] = {state, None};
    XChangeProperty(display, window, wm_state, wm_state, 32, PropModeReplace, (const unsigned char*)value, 2);
}

/* Adds or removes _NET_WM_STATE_HIDDEN in the window's _NET_WM_STATE list. */
static void set_hidden(Display* display, Window window, int hidden) {
    const Atom net_wm_state = XInternAtom(display, "_NET_WM_STATE", False);
    const Atom hidden_atom = XInternAtom(display, "_NET_WM_STATE_HIDDEN", False);
    Atom kept[32];
    int count = 0;
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = NULL;
    if (XGetWindowProperty(display, window, net_wm_state, 0, 32, False, XA_ATOM, &type, &format, &items, &after,
                           &data) == Success &&
        data != NULL) {
        if (type == XA_ATOM && format == 32) {
            const Atom* atoms = (const Atom*)data;
            for (unsigned long i = 0; i < items && count < 31; ++i) {
                if (atoms[i] != hidden_atom) {
                    kept[count++] = atoms[i];
                }
            }
        }
        XFree(data);
    }
    if (hidden) {
        kept[count++] = hidden_atom;
    }
    XChangeProperty(display, window, net_wm_state, XA_ATOM, 32, PropModeReplace, (const unsigned char*)kept,
                    count);
}

static int request_close(Display* display, Window window) {
    XEvent event = {0};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    return sent != 0 ? 0 : 1;
}

static double now_seconds(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

/* Waits up to five seconds for the window's MapNotify. */
static int wait_mapped(Display* display, Window window) {
    const double deadline = now_seconds() + 5.0;
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && event.xmap.window == window) {
                return 1;
            }
        }
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable) {
            return 1;
        }
        const double left = deadline - now_seconds();
        if (left <= 0) {
            return 0;
        }
        struct pollfd connection = {ConnectionNumber(display), POLLIN, 0};
        poll(&connection, 1, left < 0.05 ? (int)(left * 1000) + 1 : 50);
    }
}

int main(int argc, char** argv) {
    if (argc != 3 ||
        (strcmp(argv[2], "close") != 0 && strcmp(argv[2], "minimise") != 0 && strcmp(argv[2], "restore") != 0)) {
        fprintf(stderr, "usage: %s WINDOW-ID close|minimise|restore\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "%s: cannot open the display\n", argv[0]);
        return 1;
    }
    const Window window = (Window)strtoul(argv[1], NULL, 0);
    const int screen = DefaultScreen(display);
    const int managed = manager_running(display, screen);
    int status = 0;

    if (strcmp(argv[2], "close") == 0) {
        status = request_close(display, window);
    } else if (strcmp(argv[2], "minimise") == 0) {
        if (!XIconifyWindow(display, window, screen)) {
            fprintf(stderr, "%s: the iconify request could not be sent\n", argv[0]);
            status = 1;
        } else if (!managed) {
            set_wm_state(display, window, IconicState);
            set_hidden(display, window, 1);
            XUnmapWindow(display, window);
        }
        XSync(display, False);
    } else {
        XSelectInput(display, window, StructureNotifyMask);
        if (!managed) {
            set_hidden(display, window, 0);
            set_wm_state(display, window, NormalState);
        }
        XMapRaised(display, window);
        XSync(display, False);
        if (!wait_mapped(display, window)) {
            fprintf(stderr, "%s: the window was not mapped again within 5 s\n", argv[0]);
            status = 1;
        } else if (!managed) {
            XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
            XSync(display, False);
        }
    }
    XCloseDisplay(display);
    return status;
}
