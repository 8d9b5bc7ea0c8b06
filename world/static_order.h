#pragma once

// C++ leaves the order of dynamic initialisation across source files open.
// The program's static objects must be built in a fixed order (title, then the
// world, then the log), so each is given an explicit GCC/Clang priority.
#define ZARVO_INIT_ORDER(n) __attribute__((init_priority(n)))

// Before all of them: a copy of the program started only to ask the sound
// server whether it answers (platform/sdl/sound_server_check.cpp) does that
// and ends, before the log is emptied.
inline constexpr int kInitOrderFirst = 101;
inline constexpr int kInitOrderTitle = 200;
inline constexpr int kInitOrderWorld = 300;
inline constexpr int kInitOrderLog = 400;
