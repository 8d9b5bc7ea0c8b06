// A keyboard layout switched during play, as a desktop's shortcut switches it:
// another XKB group is locked. SDL 2 reads its keymap anew only when the X
// server says the keyboard mapping changed, which a group switch does not, so
// the keys kept the labels of the layout the game started with. Here each
// group switch is passed on to SDL as a mapping change: it reads the keymap in
// the new group before it takes the next X event. SDL 3 follows group
// switches itself.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/XKBlib.h>

#include "platform/sdl/under_sdl.h"

namespace {

Display* watched = nullptr;
int xkbEventType = -1;

bool IsGroupSwitch(const XEvent& event) {
    if (event.type != xkbEventType) {
        return false;
    }
    const auto& xkb = reinterpret_cast<const XkbEvent&>(event);
    return xkb.any.xkb_type == XkbStateNotify && (xkb.state.changed & XkbGroupStateMask) != 0;
}

// Called as SDL takes each X event, before it takes the next. A watch, not
// SDL's one event filter: setting a filter drops every event pending.
int PassOnGroupSwitches(void*, SDL_Event* event) {
    if (event->type != SDL_SYSWMEVENT) {
        return 0;
    }
    const SDL_SysWMmsg* message = event->syswm.msg;
    if (message != nullptr && message->subsystem == SDL_SYSWM_X11 && IsGroupSwitch(message->msg.x11.event)) {
        XEvent mapping{};
        mapping.xmapping.type = MappingNotify;
        mapping.xmapping.display = watched;
        mapping.xmapping.window = None;
        // Not the keyboard's own mapping, which has not changed: SDL then
        // only reads its keymap again.
        mapping.xmapping.request = MappingPointer;
        XPutBackEvent(watched, &mapping);
    }
    return 0;
}

}  // namespace

namespace undersdl {

void FollowLayoutSwitches(SDL_Window* handle) {
    if (ServedBySdl3()) {
        return;
    }
    Display* display = XWindowOf(handle).display;
    int opcode = 0;
    int errorBase = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    if (display == nullptr || !XkbQueryExtension(display, &opcode, &xkbEventType, &errorBase, &major, &minor) ||
        !XkbSelectEventDetails(display, XkbUseCoreKbd, XkbStateNotify, XkbGroupStateMask, XkbGroupStateMask)) {
        return;
    }
    watched = display;
    SDL_AddEventWatch(PassOnGroupSwitches, nullptr);
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
}

void StopFollowingLayoutSwitches() {
    if (watched != nullptr) {
        SDL_EventState(SDL_SYSWMEVENT, SDL_DISABLE);
        SDL_DelEventWatch(PassOnGroupSwitches, nullptr);
        watched = nullptr;
    }
}

}  // namespace undersdl
