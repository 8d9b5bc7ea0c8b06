#pragma once

#include "platform/platform.h"

// Where the game window goes and how large its client area is.
struct WindowPlace {
    int left = 0;  // the outer top-left corner
    int top = 0;
    int clientWidth = 0;
    int clientHeight = 0;

    friend bool operator==(const WindowPlace&, const WindowPlace&) = default;
};

// A window with a client area of width by height and this frame goes to the
// work area's top-left corner, clear of a panel along the top or left. Where
// its outer rectangle does not fit there, it takes the largest client area
// that does: the court is drawn whole in a window of any shape.
WindowPlace FitInWorkArea(int width, int height, const platform::ScreenRect& workArea,
                          const platform::ScreenRect& frame);
