// The window's steps that set up and take down the parts under SDL; apart
// from under_sdl.cpp, which the services without a window use too.
#include "platform/sdl/under_sdl.h"

namespace undersdl {

void WindowMade(SDL_Window* handle) {
    FollowLayoutSwitches(handle);
    FollowScreenChanges(handle);
}

void WindowGoing() {
    StopFollowingLayoutSwitches();
    StopFollowingScreenChanges();
}

}  // namespace undersdl
