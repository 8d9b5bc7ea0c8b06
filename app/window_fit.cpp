#include "app/window_fit.h"

#include <algorithm>

WindowPlace FitInWorkArea(int width, int height, const platform::ScreenRect& workArea,
                          const platform::ScreenRect& frame) {
    const int roomWidth = workArea.right - workArea.left - frame.left - frame.right;
    const int roomHeight = workArea.bottom - workArea.top - frame.top - frame.bottom;
    // However small the room, the window keeps a client area to draw in.
    return {workArea.left, workArea.top, std::clamp(roomWidth, 1, width), std::clamp(roomHeight, 1, height)};
}
