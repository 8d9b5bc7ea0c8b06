#pragma once

#include "platform/platform.h"

// Set when the game window had to be closed from inside a frame (the second
// timer could not be started); the main loop then ends the program.
extern bool gameWindowLost;
namespace initial {
inline constexpr bool kGameWindowLost = false;
}

// Runs frames until the window is closed or Escape is pressed. Returns the
// word parameter of the last message taken, which becomes the exit status.
int RunMessageLoop();

// Stops the timer, ends the raised timer resolution, closes the log and then
// closes the window, in that order.
void RunExitSequence();
