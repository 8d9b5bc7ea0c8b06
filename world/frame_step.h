#pragma once

// Set once the first frame has tried to start the second timer.
extern bool timerStarted;
namespace initial {
inline constexpr bool kTimerStarted = false;
}

// One frame: draw the world as the previous frame left it, then advance it.
// Always returns true.
bool RunFrame();

// Provided by the application: starts the second timer at the first frame
// and deals with a failure to do so.
void StartTimerOnFirstFrame();
